// The viewer's window over archives made by real tools, on the offscreen
// platform.

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QClipboard>
#include <QDesktopServices>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <QUrl>

#include <fstream>
#include <set>

#include "app/settings_store.h"
#include "quorvix/frm_option.h"
#include "quorvix/frm_quorvix.h"
#include "quorvix/html_view.h"
#include "quorvix/open_with_policy.h"
#include "quorvix/page_bounds.h"
#include "quorvix/page_resources.h"
#include "quorvix_test_support.h"

namespace mervok::quorvix {
namespace {

using namespace test;

// Receives what the window hands to the desktop.
class Desktop : public QObject {
    Q_OBJECT
  public:
    Desktop() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "Open"); }
    ~Desktop() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QStringList opened;
  public slots:
    void Open(const QUrl& url) { opened << url.toLocalFile(); }
};

// The viewer's settings file with what the viewer must keep: a comment, CR LF,
// a key it does not know.
constexpr std::string_view kIni =
    "; Quorvix settings\r\n[Option]\r\nPrevInstance=0\r\nDocType=HLP DOC HTM HTML CHM\r\n"
    "Editor=notepad\r\n";

constexpr std::string_view kReadMe = "Line 1 of the read-me text.\nLine 2 of the read-me text.\n";

class ViewerWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        WriteBytes(mIniPath, kIni);
        fs::create_directory(mPrivate);
    }

    frmQuorvix& Open(const std::string& archive) {
        mWindow = std::make_unique<frmQuorvix>(mIni, QString::fromStdString(mPrivate));
        mWindow->SetSavePathPrompt([this](QWidget*, const QString& suggested) {
            mSuggested = suggested;
            return mSaveTo;
        });
        mWindow->OpenArchive(archive);
        mWindow->show();
        return *mWindow;
    }

    QString Shown() const {
        QWidget* page = Find<QStackedWidget>(*mWindow, "stkView")->currentWidget();
        if (page->objectName() == QLatin1String("txtDocument")) {
            return static_cast<QPlainTextEdit*>(page)->toPlainText();
        }
        if (page->objectName() == QLatin1String("htmDocument")) {
            return static_cast<HtmlView*>(page)->toPlainText();
        }
        return Find<QLabel>(*mWindow, "lblMessage")->text();
    }
    QString Page() const {
        return Find<QStackedWidget>(*mWindow, "stkView")->currentWidget()->objectName();
    }
    QStringList Listed() const {
        QStringList names;
        auto* list = Find<QListWidget>(*mWindow, "lstEntry");
        for (int row = 0; row < list->count(); ++row) {
            names << list->item(row)->text();
        }
        return names;
    }
    void Select(const QString& name) {
        auto* list = Find<QListWidget>(*mWindow, "lstEntry");
        const auto items = list->findItems(name, Qt::MatchExactly);
        ASSERT_EQ(items.size(), 1) << name.toStdString();
        list->setCurrentItem(items.front());
    }
    QString Status() const { return Find<QLabel>(*mWindow, "lblStatus")->text(); }
    void Trigger(const char* action) { Find<QAction>(*mWindow, action)->trigger(); }

    TempFolder mTemp;
    std::string mIniPath = mTemp.File("Quorvix.ini");
    std::string mPrivate = mTemp.File("private");
    SettingsStore mIni{mIniPath};
    std::unique_ptr<frmQuorvix> mWindow;
    QString mSaveTo;
    QString mSuggested;
};

TEST_F(ViewerWindowTest, EveryFormatAndStubShowsItsFirstDocumentAtOnce) {
    // Every archive the libraries find a document in, from their fixture list.
    const std::string docs = "*.TXT *.HLP *.DOC *.HTM *.HTML *.CHM";
    std::set<std::string> seen;
    for (const auto& cell : ManifestRows(Fixture("archives"))) {
        if (cell[4] != docs || cell[5] != "0" || !seen.insert(cell[0]).second) {
            continue;
        }
        SCOPED_TRACE(cell[0]);
        const std::string archive = mTemp.File(fs::path(cell[0]).filename().string());
        WriteBytes(archive, cell[7]);
        Open(archive);
        EXPECT_TRUE(mWindow->windowTitle().endsWith(
            QString::fromStdString(" - " + fs::path(cell[0]).filename().string() + " - Quorvix")))
            << mWindow->windowTitle().toStdString();
        // Listed, but its data cannot be read: said so, not shown.
        if (cell[0].starts_with("corrupt/") || cell[6].find("encrypted") != std::string::npos) {
            EXPECT_EQ(Page(), QLatin1String("pnlMessage"));
            EXPECT_TRUE(Shown().contains(cell[0].starts_with("corrupt/")
                                             ? QStringLiteral("壊れて")
                                             : QStringLiteral("暗号化")));
            continue;
        }
        EXPECT_EQ(Page(), QLatin1String("txtDocument"));
        EXPECT_TRUE(Shown().startsWith(QString::fromUtf8(kReadMe.data(), kReadMe.size())))
            << Shown().left(80).toStdString();
        EXPECT_FALSE(Listed().contains(QStringLiteral("PROG.EXE")));
    }
    EXPECT_GE(seen.size(), 30u);
}

TEST_F(ViewerWindowTest, DocumentsByTheSearchRuleEveryFileOnRequestAndTheEncodingMenu) {
    WriteBytes(mIniPath, "[Option]\r\nDocType=doc\r\n");
    Open(Fixture("quorvix/html.zip"));
    EXPECT_EQ(Listed(), QStringList{});
    EXPECT_TRUE(Shown().contains(QStringLiteral("文書がありません")));
    Trigger("mnuAllEntries");
    EXPECT_EQ(Listed(), (QStringList{"MANUAL.HTM", "doc/page2.htm", "img/logo.png"}));
    EXPECT_EQ(Page(), QLatin1String("htmDocument"));
    // An image is shown by itself.
    Select(QStringLiteral("img/logo.png"));
    auto* page = Find<HtmlView>(*mWindow, "htmDocument");
    page->grab();
    EXPECT_EQ(Page(), QLatin1String("htmDocument"));
    EXPECT_EQ(page->document()
                  ->resource(QTextDocument::ImageResource, QUrl("logo.png"))
                  .value<QImage>()
                  .size(),
              QSize(120, 32));

    WriteBytes(mIniPath, "[Option]\r\nDocType=HTM\r\n");
    Open(Fixture("quorvix/binary.zip"));
    EXPECT_EQ(Listed(), QStringList{"README.TXT"});
    EXPECT_EQ(Shown(), QStringLiteral("読んでください\n"));
    // Read as EUC-JP the same bytes are something else; back to automatic.
    Trigger("mnuEncoding_EUC-JP");
    EXPECT_NE(Shown(), QStringLiteral("読んでください\n"));
    EXPECT_EQ(Find<QLabel>(*mWindow, "lblEncoding")->text(), QStringLiteral("EUC-JP"));
    Trigger("mnuEncodingAuto");
    EXPECT_EQ(Shown(), QStringLiteral("読んでください\n"));
    // Bytes that no encoding reads are not shown as text unless asked for.
    std::string noise;
    for (unsigned i = 1; noise.size() < 4096; i = i * 1103515245 + 12345) {
        noise += static_cast<char>(0x80 | i >> 16);
    }
    mTemp.Write("noise/NOISE.TXT", noise);
    ASSERT_EQ(
        std::system(("cd '" + mTemp.File("noise") + "' && zip -q ../noise.zip NOISE.TXT").c_str()),
        0);
    Open(mTemp.File("noise.zip"));
    EXPECT_TRUE(Shown().contains(QStringLiteral("テキストではないよう")));
    Trigger("mnuEncoding_Shift_JIS");
    EXPECT_EQ(Page(), QLatin1String("txtDocument"));
    Open(Fixture("quorvix/binary.zip"));
    // The choice holds for the document it was made for only.
    Trigger("mnuEncoding_EUC-JP");
    Trigger("mnuAllEntries");
    Select(QStringLiteral("MANUAL.DOC"));
    Select(QStringLiteral("README.TXT"));
    EXPECT_EQ(Shown(), QStringLiteral("読んでください\n"));
    EXPECT_TRUE(Find<QAction>(*mWindow, "mnuEncodingAuto")->isChecked());
}

TEST_F(ViewerWindowTest, PagesTakeImagesFromTheArchiveAndNothingFromOutside) {
    Open(Fixture("quorvix/html.zip"));
    EXPECT_EQ(Listed(), (QStringList{"MANUAL.HTM", "doc/page2.htm"}));
    EXPECT_EQ(Page(), QLatin1String("htmDocument"));
    EXPECT_TRUE(Shown().contains(QStringLiteral("ようこそ")));  // its Shift-JIS charset
    auto* page = Find<HtmlView>(*mWindow, "htmDocument");
    QTextDocument* document = page->document();
    const auto image = [&](const char* reference) {
        return page->loadResource(QTextDocument::ImageResource, QUrl(reference)).value<QImage>();
    };
    EXPECT_EQ(image("img/logo.png").size(), QSize(120, 32));
    for (const char* outside :
         {"http://example.invalid/remote.png", "file:///etc/hostname", "../../outside.png"}) {
        // Neither the view nor its document fetch it.
        EXPECT_FALSE(document->resource(QTextDocument::ImageResource, QUrl(outside)).isValid())
            << outside;
        EXPECT_TRUE(image(outside).isNull());
    }
    // A link elsewhere is not followed; one into the archive shows that page,
    // whose image ("../IMG/LOGO.PNG") is found case-blind.
    emit page->anchorClicked(QUrl("http://example.invalid/"));
    EXPECT_TRUE(Shown().contains(QStringLiteral("ようこそ")));
    EXPECT_TRUE(Status().contains(QStringLiteral("example.invalid")));
    emit page->anchorClicked(QUrl("doc/page2.htm"));
    EXPECT_EQ(Find<QListWidget>(*mWindow, "lstEntry")->currentRow(), 1);
    EXPECT_TRUE(Shown().contains(QStringLiteral("二ページ目")));
    EXPECT_EQ(image("../IMG/LOGO.PNG").size(), QSize(120, 32));

    // Painted, a page asks the archive once per entry, however many
    // references name it, and a name the archive lacks is not read from this
    // computer's disk, though it is there.
    QByteArray logo;
    QBuffer buffer(&logo);
    ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
    ASSERT_TRUE(QImage(120, 32, QImage::Format_RGB32).save(&buffer, "PNG"));
    const QString onDisk = QString::fromStdString(mTemp.File("local.png"));
    ASSERT_TRUE(QImage(4, 4, QImage::Format_RGB32).save(onDisk));
    int asked = 0;
    page->SetPage(QStringLiteral("<img src=\"img/logo.png\"><img src=\"%1\"><img "
                                 "src=\"img/logo.png?1\"><img src=\"IMG/Logo.png#x\"><img "
                                 "src=\"%1?2\">")
                      .arg(onDisk),
                  "", [&](const QString& path, std::uint64_t) -> std::optional<QByteArray> {
                      ++asked;
                      return path.compare(QLatin1String("img/logo.png"), Qt::CaseInsensitive) == 0
                                 ? std::optional(logo)
                                 : std::nullopt;
                  });
    page->grab();
    page->grab();
    EXPECT_EQ(asked, 2);
    EXPECT_EQ(page->PixelsDecoded(), 120 * 32);
    const auto drawn = [&](const QString& reference) {
        return document->resource(QTextDocument::ImageResource, QUrl(reference)).value<QImage>();
    };
    EXPECT_TRUE(drawn(onDisk).isNull());

    // An image is decoded by its bytes, and only as PNG, JPEG, GIF or BMP:
    // SVG named like an image stays blank, as its decoder would read the
    // file it names from this computer's disk.
    QByteArray bmp;
    QBuffer bmpBuffer(&bmp);
    ASSERT_TRUE(QImage(3, 5, QImage::Format_RGB32).save(&bmpBuffer, "BMP"));
    const QByteArray svg = QStringLiteral(
                               "<svg xmlns='http://www.w3.org/2000/svg' "
                               "xmlns:xlink='http://www.w3.org/1999/xlink' width='4' height='4'>"
                               "<image width='4' height='4' xlink:href='%1'/></svg>")
                               .arg(onDisk)
                               .toUtf8();
    page->SetPage(
        QStringLiteral("<img src=\"shot.gif\"><img src=\"vector.png\">"), "",
        [&](const QString& path, std::uint64_t) { return path == "shot.gif" ? bmp : svg; });
    page->grab();
    EXPECT_EQ(drawn("shot.gif").size(), QSize(3, 5));
    if (!QImageReader::supportedImageFormats().contains("svg")) {
        GTEST_SKIP() << "Qt's SVG image plugin (libqt6svg6) is not installed here";
    }
    ASSERT_EQ(QImage::fromData(svg).size(), QSize(4, 4));  // what the plugin would make of it
    EXPECT_TRUE(drawn("vector.png").isNull());
}

// Beyond a page's budget of decoded pixels an image is not decoded at all:
// it keeps its place as its size, drawn as a frame with its alternative text.
// Style sheets are read up to a count and a size, and their rules kept as
// far as the page's tags leave room.
TEST(PageResourcesTest, ImagesAndStyleSheetsBeyondTheirBudgetAreLeftOut) {
    App();
    const auto Png = [](int width, int height) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(width, height, QImage::Format_RGB32).save(&buffer, "PNG");
        return bytes;
    };
    PageResources resources(10000);
    int reads = 0;
    const auto Get = [&](const char* path, const QByteArray& bytes) {
        return resources.Get(QTextDocument::ImageResource, QString::fromLatin1(path), [&](auto) {
            ++reads;
            return std::optional(bytes);
        });
    };
    EXPECT_EQ(Get("a.png", Png(100, 60)).value<QImage>().size(), QSize(100, 60));
    const QVariant over = Get("b.png", Png(80, 60));
    EXPECT_EQ(over.typeId(), QMetaType::QSize);
    EXPECT_EQ(over.toSize(), QSize(80, 60));
    EXPECT_EQ(Get("c.png", Png(40, 50)).value<QImage>().size(), QSize(40, 50));
    EXPECT_EQ(Get("A.PNG", {}).value<QImage>().size(), QSize(100, 60));
    EXPECT_EQ(reads, 3);
    EXPECT_EQ(resources.PixelsDecoded(), 8000);

    // A header that claims 72 Mpixel is all that is read of it.
    QByteArray header("BM");
    for (const quint32 field : {0u, 0u, 54u, 40u, 12000u, 6000u, 0x180001u}) {
        header.append(reinterpret_cast<const char*>(&field), 4);  // little-endian, 1 plane 24 bits
    }
    header.append(24, '\0');
    HtmlView view;
    view.SetPage(QStringLiteral("<img src=\"x.png\" alt=\"too large\" width=\"50\">"), "",
                 [&](const QString&, std::uint64_t) { return std::optional(header); });
    EXPECT_EQ(view.document()->resource(QTextDocument::ImageResource, QUrl("x.png")).toSize(),
              QSize(12000, 6000));
    EXPECT_EQ(view.PixelsDecoded(), 0);
    view.grab();  // the frame and the text drawn in its place

    // 2,048 tags leave room for 256 style rules: a rule after that many, in
    // the page's <style> or in a sheet it links, has no effect.
    std::string filler;
    for (int i = 0; i < 300; ++i) {
        filler += ".f" + std::to_string(i) + " { color: blue }\n";
    }
    filler += "b { color: red }";
    std::string tags;
    for (int i = 0; i < 1024; ++i) {
        tags += "<p><b>bold</b></p>";
    }
    // At most 16 sheets, linked or imported, and 256 KiB of them are read.
    std::string links;
    for (int i = 0; i < 30; ++i) {
        links += "<link rel=stylesheet type=text/css href=\"s" + std::to_string(i) + ".css\">";
    }
    const struct {
        std::string page;
        bool red;
        std::size_t sheets;
    } cases[] = {{"<style>" + filler + "</style>" + tags, false, 0},
                 {"<link rel=stylesheet type=text/css href=big.css>" + tags, false, 1},
                 {links + "<p><b>bold</b>", true, 16}};
    for (const auto& [page, red, sheets] : cases) {
        SCOPED_TRACE(sheets);
        const BoundedPage bounded = BoundPage(page);
        std::vector<std::uint64_t> limits;
        view.SetPage(
            QString::fromStdString(bounded.html), "",
            [&](const QString& path, std::uint64_t limit) {
                limits.push_back(limit);
                return std::optional(path == "big.css"
                                         ? QByteArray::fromStdString(filler)
                                         : QStringLiteral("@import \"s%1.css\"; b { color: red }")
                                               .arg(path.mid(1).toInt() + 1)
                                               .toUtf8());
            },
            bounded.styleRules);
        EXPECT_EQ(limits.size(), sheets);
        if (sheets == 16) {
            EXPECT_EQ(limits.front(), 256u << 10);
            EXPECT_LT(limits.back(), limits.front());  // what was read counts
        }
        const QTextCharFormat bold = view.document()->begin().begin().fragment().charFormat();
        EXPECT_EQ(bold.fontWeight(), QFont::Bold);
        EXPECT_EQ(bold.foreground().color() == QColor(Qt::red), red);
        EXPECT_TRUE(bounded.simplified || view.StyleLeftOut());
    }
}

// A manual of several pages, packed by zip and by lha: read from its index,
// its contents' links go to their sections, Back and Forward return.
TEST_F(ViewerWindowTest, AManualOpensOnItsIndexAndItsLinksGoToTheirSections) {
    std::string filler;
    for (int i = 0; i < 300; ++i) {
        filler += "<p>Paragraph " + std::to_string(i) + "</p>";
    }
    mTemp.Write("src/Zeta.txt", "last by name");
    mTemp.Write("src/alpha.htm", "<p>alpha</p>");
    mTemp.Write("src/manual/index.html",
                "<title>The Manual</title><a href=\"ch2.html#s2\">Section 2</a> "
                "<a href=\"gone.html\">Gone</a> <a href=\"%90%E0%96%BE.htm\">SJIS</a> "
                "<a href=\"#end\">End</a>" +
                    filler + "<a name=\"end\">The end</a>");
    mTemp.Write("src/manual/ch2.html", "<p>Chapter 2</p>" + filler +
                                           "<h2><a name=\"s2\">Section 2</a></h2>" + filler +
                                           "<img src=\"missing.png\" alt=\"Figure 1\">");
    mTemp.Write("src/manual/\x90\xE0\x96\xBE.htm", "<p>説明 page</p>");
    // zip keeps the name's Shift-JIS bytes (jlha here cannot write them).
    const std::string cd = "cd '" + mTemp.File("src") + "' && ";
    ASSERT_EQ(std::system((cd + "zip -qr ../manual.zip .").c_str()), 0);
    fs::remove(mTemp.File("src/manual/\x90\xE0\x96\xBE.htm"));
    ASSERT_EQ(std::system((cd + "lha aq ../manual.lzh Zeta.txt alpha.htm manual").c_str()), 0);
    for (const char* archive : {"manual.zip", "manual.lzh"}) {
        SCOPED_TRACE(archive);
        const bool zip = QLatin1String(archive).endsWith(QLatin1String(".zip"));
        Open(mTemp.File(archive));
        QStringList pages{"alpha.htm", "Zeta.txt", "manual/ch2.html", "manual/index.html"};
        EXPECT_EQ(Listed(), zip ? pages << QStringLiteral("manual/説明.htm") : pages);
        EXPECT_EQ(mWindow->windowTitle(),
                  QStringLiteral("The Manual - %1 - Quorvix").arg(QLatin1String(archive)));
        auto* page = Find<HtmlView>(*mWindow, "htmDocument");
        QScrollBar* scroll = page->verticalScrollBar();
        emit page->anchorClicked(QUrl("#end"));  // on this page
        EXPECT_GT(scroll->value(), 0);
        const int end = scroll->value();
        emit page->anchorClicked(QUrl("gone.html"));
        EXPECT_TRUE(Status().contains(QStringLiteral("この書庫にはありません")))
            << Status().toStdString();
        emit page->anchorClicked(QUrl("ch2.html#s2"));
        EXPECT_TRUE(Shown().startsWith(QStringLiteral("Chapter 2")));
        EXPECT_FALSE(Status().contains(QStringLiteral("ありません")));
        const int section = scroll->value();
        EXPECT_GT(section, 0);
        EXPECT_LT(section, scroll->maximum());
        // Back to the place on the index, back to its top, forward again.
        Trigger("mnuBack");
        EXPECT_TRUE(Shown().startsWith(QStringLiteral("Section 2")));
        EXPECT_EQ(scroll->value(), end);
        Trigger("mnuBack");
        EXPECT_EQ(scroll->value(), 0);
        Trigger("mnuForward");
        Trigger("mnuForward");
        EXPECT_EQ(scroll->value(), section);
        EXPECT_EQ(Find<QListWidget>(*mWindow, "lstEntry")->currentItem()->text(),
                  QStringLiteral("manual/ch2.html"));
        // A name written as its Shift-JIS bytes, percent-encoded.
        Select(QStringLiteral("manual/index.html"));
        emit page->anchorClicked(QUrl("%90%E0%96%BE.htm"));
        EXPECT_EQ(Shown() == QStringLiteral("説明 page"), zip);
    }
}

// How deep tables nest in a laid-out page (each table is a frame).
int TableDepth(const QTextFrame* frame) {
    int deepest = 0;
    for (const QTextFrame* child : frame->childFrames()) {
        deepest =
            std::max(deepest, TableDepth(child) + (qobject_cast<const QTextTable*>(child) ? 1 : 0));
    }
    return deepest;
}

// The most items of one list, and the longest line, of a laid-out document.
std::pair<int, int> LongestListAndLine(const QTextDocument& document) {
    int items = 0;
    int line = 0;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        items = std::max(items, block.textList() ? block.textList()->count() : 0);
        line = std::max(line, block.length() - 1);
    }
    return {items, line};
}

// Pages whose layout would take Qt's text engine minutes, or overflow its
// stack, reach it rebuilt within its means; what was left out is said.
TEST_F(ViewerWindowTest, PagesBeyondWhatTheLayoutBearsAreSimplifiedAndShownAtOnce) {
    const auto repeat = [](std::string_view piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += piece;
        }
        return text;
    };
    const std::pair<std::string, std::string> pages[] = {
        {"deep5000.htm", repeat("<table><tr><td>x", 5000) + "innermost"},
        {"deep1000.htm",
         repeat("<TABLE><TR><TD>", 1000) + "innermost" + repeat("</TD></TR></TABLE>", 1000)},
        {"nested.htm", repeat("<ul><li><div><blockquote><b><i>", 2000) + "innermost"},
        {"list.htm", "<ol>" + repeat("<li>item", 3000) + "innermost"},
        {"para.htm", "<p><b>" + repeat("word &amp; ", 20000) + "innermost"},
        {"wide.htm", "<table><tr><td colspan=99999999 rowspan=4000000000>innermost</table>"},
        {"grid.htm",
         "<table>" + repeat("<tr>" + repeat("<td>cell", 100), 100) + "</table>innermost"},
        {"huge.htm", repeat("<p>" + repeat("paragraph ", 6) + "</p>\n", 4000) + "innermost"},
        {"fine.htm", "<table><tr><td><table><tr><td>inner<td>cell</table></table>innermost"},
    };
    for (const auto& [name, page] : pages) {
        WriteBytes(mTemp.File(name), page);
    }
    ASSERT_EQ(std::system(("cd '" + mTemp.Path() + "' && zip -q pages.zip *.htm").c_str()), 0);
    Open(mTemp.File("pages.zip"));
    auto* view = Find<HtmlView>(*mWindow, "htmDocument");
    for (const auto& [name, page] : pages) {
        SCOPED_TRACE(name);
        Select(QString::fromStdString(name));
        Trigger("mnuSelectAll");  // all of a long text, though not yet filled in
        Trigger("mnuCopy");
        EXPECT_TRUE(QApplication::clipboard()->text().contains(QStringLiteral("innermost")));
        if (name == "huge.htm") {
            EXPECT_EQ(Page(), QLatin1String("txtDocument"));
            EXPECT_TRUE(Status().contains(QStringLiteral("テキストとして表示")))
                << Status().toStdString();
            continue;
        }
        ASSERT_EQ(Page(), QLatin1String("htmDocument"));
        const int depth = TableDepth(view->document()->rootFrame());
        EXPECT_LE(depth, 8);
        const auto [items, line] = LongestListAndLine(*view->document());
        EXPECT_LE(items, 256);
        EXPECT_LE(line, 8192);
        EXPECT_EQ(Status().contains(QStringLiteral("簡略化")), name != "fine.htm")
            << Status().toStdString();
        if (name == "fine.htm") {
            EXPECT_EQ(depth, 2);
        }
        view->grab();
    }
}

TEST_F(ViewerWindowTest, FindCopySelectAllFontWrapAndTheyAreRemembered) {
    Open(Fixture("quorvix/sjis_lh7.lzh"));
    auto* text = Find<QPlainTextEdit>(*mWindow, "txtDocument");
    mWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(mWindow.get()));
    QTest::keyClick(mWindow.get(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(Find<QWidget>(*mWindow, "pnlFind")->isVisible());
    Find<QLineEdit>(*mWindow, "txtFind")->setText(QStringLiteral("書庫"));
    QTest::keyClick(Find<QLineEdit>(*mWindow, "txtFind"), Qt::Key_Return);
    EXPECT_EQ(text->textCursor().selectedText(), QStringLiteral("書庫"));
    const int first = text->textCursor().position();
    QTest::keyClick(mWindow.get(), Qt::Key_F3);
    EXPECT_GT(text->textCursor().position(), first);
    // From the last one F3 goes round to the first.
    text->moveCursor(QTextCursor::End);
    QTest::keyClick(mWindow.get(), Qt::Key_F3);
    EXPECT_EQ(text->textCursor().position(), first);
    // A failed search leaves the view as it was; Esc closes the bar.
    text->moveCursor(QTextCursor::End);
    QTest::keyClick(mWindow.get(), Qt::Key_F3);
    Find<QLineEdit>(*mWindow, "txtFind")->setText(QStringLiteral("ありえない"));
    QTest::keyClick(mWindow.get(), Qt::Key_F3);
    EXPECT_TRUE(Status().startsWith(QStringLiteral("見つかりません")));
    EXPECT_EQ(text->textCursor().position(), first);
    QTest::keyClick(Find<QLineEdit>(*mWindow, "txtFind"), Qt::Key_Escape);
    EXPECT_FALSE(Find<QWidget>(*mWindow, "pnlFind")->isVisible());

    Trigger("mnuSelectAll");
    Trigger("mnuCopy");
    EXPECT_EQ(QApplication::clipboard()->text(), text->toPlainText());
    const int size = text->font().pointSize();
    Trigger("mnuFontLarger");
    Trigger("mnuFontLarger");
    EXPECT_EQ(text->font().pointSize(), size + 2);
    Trigger("mnuWrap");
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::NoWrap);
    Trigger("mnuAllEntries");
    mWindow->resize(1000, 700);
    Find<QSplitter>(*mWindow, "splMain")->setSizes({150, 850});
    int replaces = 0;
    SettingsStore::SetBeforeReplaceHookForTesting([&](const std::string&) {
        ++replaces;
        return true;
    });
    mWindow->close();
    SettingsStore::SetBeforeReplaceHookForTesting({});
    EXPECT_EQ(replaces, 1) << "every key in one replace of the file";

    // The viewer's own section follows the file as it was.
    const std::string ini = ReadBytes(mIniPath);
    EXPECT_TRUE(ini.starts_with(kIni)) << ini;
    EXPECT_NE(ini.find("[Window]"), std::string::npos);
    Open(Fixture("quorvix/sjis_lh7.lzh"));
    EXPECT_EQ(mWindow->size(), QSize(1000, 700));
    EXPECT_EQ(Find<QSplitter>(*mWindow, "splMain")->sizes().value(0), 150);
    EXPECT_EQ(Find<QPlainTextEdit>(*mWindow, "txtDocument")->font().pointSize(), size + 2);
    EXPECT_FALSE(Find<QAction>(*mWindow, "mnuWrap")->isChecked());
    EXPECT_EQ(Listed(), (QStringList{"SETUP.EXE", "説明書.TXT"}));
    // A list width from a damaged file neither hides the list nor the document.
    for (const char* width : {"0", "5000"}) {
        WriteBytes(mIniPath, std::string(kIni) + "[Window]\r\nWidth=1000\r\nListWidth=" + width);
        Open(Fixture("quorvix/sjis_lh7.lzh"));
        const int list = Find<QSplitter>(*mWindow, "splMain")->sizes().value(0);
        EXPECT_TRUE(list >= 60 && list <= 800) << width << ": " << list;
    }

    // The wave dash as Shift-JIS gives it (～) is found as 〜 and the other way.
    mTemp.Write("tilde/TILDE.TXT",
                "\x82\xA0 1\x81\x60"
                "3 \x81\x7C\r\n");
    const std::string pack = "cd '" + mTemp.File("tilde") + "' && zip -q ../tilde.zip TILDE.TXT";
    ASSERT_EQ(std::system(pack.c_str()), 0);
    Open(mTemp.File("tilde.zip"));
    for (const char* wanted : {"1〜3 −", "1～3 －"}) {
        Find<QLineEdit>(*mWindow, "txtFind")->setText(QString::fromUtf8(wanted));
        Trigger("mnuFindNext");
        EXPECT_EQ(Find<QPlainTextEdit>(*mWindow, "txtDocument")->textCursor().selectedText(),
                  QStringLiteral("1～3 －"));
    }
}

TEST_F(ViewerWindowTest, AMatchOpensAtItsEntryAndLineMarkedWhereverTheFillIs) {
    // A Shift-JIS CR LF text far longer than the view's first fill, the word
    // on line 40 and line 65,000.
    std::string text;
    constexpr int kLines = 70'000;
    for (int line = 1; line <= kLines; ++line) {
        text += line == 40       ? "\x90\xDD\x92\xE8x\r\n"
                : line == 65'000 ? "\x90\xDD\x92\xE8y\r\n"
                                 : "abc\r\n";
    }
    mTemp.Write("m/docs/SETTEI.TXT", text);
    mTemp.Write("m/A.TXT", "first\n");
    // A line the view shows broken in three, the word at its end and below.
    mTemp.Write("m/docs/LONG.TXT",
                std::string(10'000, 'a') + "\x90\xDD\x92\xE8\r\nb \x90\xDD\x92\xE8z\r\n");
    std::string page;
    for (int i = 0; i < 300; ++i) {
        page += "<p>top</p>";
    }
    mTemp.Write("m/page.htm", page + "<p>far \x96\xDA\x88\xF3</p>");
    ASSERT_EQ(std::system(
                  ("cd '" + mTemp.File("m") + "' && zip -qr ../m.zip A.TXT docs page.htm").c_str()),
              0);
    const std::string archive = mTemp.File("m.zip");
    Open(archive);
    auto* view = Find<QPlainTextEdit>(*mWindow, "txtDocument");

    const auto openAt = [&](const char* entry, const char* wanted, std::uint64_t line,
                            bool ignoreCase) {
        mWindow->OpenArchive(ViewerTarget{archive, entry, wanted, line, ignoreCase});
        QCoreApplication::processEvents();
        QList<QTextEdit::ExtraSelection> marks = view->extraSelections();
        if (Page() == QLatin1String("htmDocument")) {
            marks = Find<HtmlView>(*mWindow, "htmDocument")->extraSelections();
        }
        return marks.size() == 1 ? marks[0].cursor : QTextCursor();
    };
    QTextCursor mark = openAt("docs/SETTEI.TXT", "設定", 65'000, false);
    EXPECT_EQ(mark.selectedText(), QStringLiteral("設定"));
    EXPECT_EQ(mark.block().text(), QStringLiteral("設定y"));
    EXPECT_EQ(view->textCursor().blockNumber(), 64'999);
    EXPECT_EQ(Find<QListWidget>(*mWindow, "lstEntry")->currentItem()->text(),
              QStringLiteral("docs/SETTEI.TXT"));
    EXPECT_TRUE(Find<QWidget>(*mWindow, "pnlFind")->isVisible());
    EXPECT_EQ(Find<QLineEdit>(*mWindow, "txtFind")->text(), QStringLiteral("設定"));
    // The next find goes on from the match, round to the first one.
    Trigger("mnuFindNext");
    EXPECT_EQ(view->textCursor().block().text(), QStringLiteral("設定x"));
    // Without a line, the first; a line past the text or past every match,
    // the first too; -i as the search has it.
    EXPECT_EQ(openAt("docs/SETTEI.TXT", "設定", 0, false).block().text(), QStringLiteral("設定x"));
    EXPECT_EQ(openAt("docs/SETTEI.TXT", "設定", 90'000, false).block().text(),
              QStringLiteral("設定x"));
    EXPECT_EQ(openAt("docs/SETTEI.TXT", "ABC", 7, true).blockNumber(), 6);
    EXPECT_TRUE(openAt("docs/SETTEI.TXT", "ABC", 7, false).isNull());
    EXPECT_EQ(Status(), QStringLiteral("見つかりません: ABC"));
    EXPECT_EQ(openAt("docs/LONG.TXT", "設定", 1, false).selectedText(), QStringLiteral("設定"));
    mark = openAt("docs/LONG.TXT", "設定", 2, false);
    EXPECT_EQ(mark.selectedText(), QStringLiteral("設定"));
    EXPECT_EQ(mark.block().text(), QStringLiteral("b 設定z"));
    // Only a line: scrolled there, nothing marked.
    EXPECT_TRUE(openAt("docs/SETTEI.TXT", "", 30'000, false).isNull());
    EXPECT_EQ(view->textCursor().blockNumber(), 29'999);
    EXPECT_GT(view->verticalScrollBar()->value(), 0);
    // A page: the first place in what it shows.
    mark = openAt("page.htm", "目印", 1, false);
    EXPECT_EQ(mark.selectedText(), QStringLiteral("目印"));
    EXPECT_GT(Find<HtmlView>(*mWindow, "htmDocument")->verticalScrollBar()->value(), 0);
    // An entry the archive does not hold: its first document, and why.
    EXPECT_TRUE(openAt("NONE.TXT", "first", 0, false).isNull());
    EXPECT_EQ(Shown(), QStringLiteral("first\n"));
    EXPECT_EQ(Status(), QStringLiteral("この書庫にはありません: NONE.TXT"));
}

TEST_F(ViewerWindowTest, WhatItCannotShowGoesToTheDesktopButNeverAProgram) {
    Desktop desktop;
    Open(Fixture("quorvix/binary.zip"));
    Trigger("mnuAllEntries");
    auto* openWith = Find<QPushButton>(*mWindow, "btnOpenWith");
    // Whatever the stored name says, the file lands in the private folder.
    for (const char* name : {"MANUAL.DOC", "../../outside.doc", "/absolute/rooted.doc"}) {
        SCOPED_TRACE(name);
        Select(QString::fromUtf8(name));
        EXPECT_EQ(Page(), QLatin1String("pnlMessage"));
        EXPECT_TRUE(Shown().startsWith(QStringLiteral("この種類の文書を表示する機能はありません")));
        ASSERT_TRUE(openWith->isVisible() && openWith->isEnabled());
        openWith->click();
        ASSERT_FALSE(desktop.opened.isEmpty());
        const std::string file = desktop.opened.takeLast().toStdString();
        EXPECT_TRUE(file.starts_with(mPrivate + "/")) << file;
        EXPECT_EQ(fs::path(file).filename(), fs::path(name).filename());
        EXPECT_TRUE(ReadBytes(file).starts_with("\xD0\xCF\x11\xE0"));
        EXPECT_EQ(fs::status(file).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
    }
    EXPECT_FALSE(fs::exists(mTemp.File("outside.doc")));
    EXPECT_FALSE(fs::exists(fs::path(mTemp.Path()).parent_path() / "outside.doc"));

    // A copy written before is handed over again; a new one must fit the
    // folder's budget and leave the disk's reserve free, or is refused.
    const auto copies = [&] {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(mPrivate)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path().string());
            }
        }
        return files;
    };
    const std::vector<std::string> written = copies();
    EXPECT_EQ(written.size(), 3u);
    Select(QStringLiteral("MANUAL.DOC"));
    openWith->click();
    EXPECT_EQ(copies(), written);
    ASSERT_EQ(desktop.opened.size(), 1);
    const std::string again = desktop.opened.takeLast().toStdString();
    EXPECT_EQ(fs::path(again).filename(), "MANUAL.DOC");
    fs::remove(again);  // gone since: written anew, within the limits
    const struct {
        std::uint64_t total, keepFree;
        const char* refusal;
    } limits[] = {{3 * 525 - 1, 0, "一時フォルダで 1,574 バイト を超える"},
                  {std::uint64_t{1} << 40, std::uint64_t{1} << 62, "空きが足りない"},
                  {3 * 525, 0, nullptr}};
    for (const auto& limit : limits) {
        mWindow->SetHandOverLimits(limit.total, limit.keepFree);
        openWith->click();
        if (limit.refusal != nullptr) {
            EXPECT_TRUE(Status().contains(QString::fromUtf8(limit.refusal)))
                << Status().toStdString();
            EXPECT_EQ(copies().size(), 2u);
        }
    }
    EXPECT_EQ(copies().size(), 3u);
    EXPECT_EQ(desktop.opened.size(), 1);
    desktop.opened.clear();

    // A program is neither shown nor handed over; a script or a launcher
    // is only shown as the text it is.
    Select(QStringLiteral("SETUP.EXE"));
    EXPECT_FALSE(openWith->isEnabled());
    openWith->click();
    emit openWith->clicked();  // as if the button's state were wrong
    for (const char* script : {"install.sh", "picture.desktop"}) {
        Select(QString::fromUtf8(script));
        EXPECT_EQ(Page(), QLatin1String("txtDocument"));
    }
    EXPECT_TRUE(desktop.opened.isEmpty());

    // Save as writes the entry where the user says, under its own name first.
    Select(QStringLiteral("../../outside.doc"));
    mSaveTo = QString::fromStdString(mTemp.File("saved.doc"));
    Find<QPushButton>(*mWindow, "btnSaveEntry")->click();
    EXPECT_TRUE(mSuggested.endsWith(QStringLiteral("/outside.doc")));
    EXPECT_TRUE(ReadBytes(mTemp.File("saved.doc")).starts_with("\xD0\xCF\x11\xE0"));
    Select(QStringLiteral("SETUP.EXE"));
    mSaveTo = QString::fromStdString(mTemp.File("setup.bin"));
    Trigger("mnuSaveAs");
    EXPECT_TRUE(ReadBytes(mTemp.File("setup.bin")).starts_with("MZ"));
    // An archive handed over while the prompt is open: nothing is written.
    mWindow->SetSavePathPrompt([&](QWidget*, const QString&) {
        mWindow->OpenArchive(Fixture("quorvix/binary.zip"));
        Select(QStringLiteral("SETUP.EXE"));
        return QString::fromStdString(mTemp.File("stale.bin"));
    });
    Trigger("mnuSaveAs");
    EXPECT_FALSE(fs::exists(mTemp.File("stale.bin")));
}

TEST(OpenWithPolicyTest, OnlyDocumentsReachTheDesktopWhateverTheirNameSays) {
    // Decided as the window decides: on the name as written and on the
    // desktop's own type of the file written.
    TempFolder folder;
    const std::string launcher = "[Desktop Entry]\nType=Application\nExec=sh -c id\n";
    const std::string zip("PK\x03\x04\x14\0\0\0\0\0", 10);
    QByteArray png;
    QBuffer buffer(&png);
    ASSERT_TRUE(QImage(2, 2, QImage::Format_RGB32).save(&buffer, "PNG"));
    const struct {
        const char* name;
        std::string content;
        bool handedOver;
    } files[] = {
        {"launcher.desktop.", launcher, false},
        {"launcher.desktop ", launcher, false},
        {"launcher.kdelnk", launcher, false},
        {"notes.txt", launcher, false},  // the content is a launcher's
        {"app.jar.", zip, false},
        {"App.appimage.", "AI\x02", false},
        {"start.jnlp", "<?xml version=\"1.0\"?>\n<jnlp spec=\"1.0+\"/>\n", false},
        {"app.flatpakref", "[Flatpak Ref]\nName=x\n", false},
        {"index.php", "<?php system($_GET['c']); ?>\n", false},
        {"init.lua", "os.execute('id')\n", false},
        {"run.zsh", "id\n", false},
        {"run.ksh", "id\n", false},
        {"run.fish", "id\n", false},
        {"run.command", "id\n", false},
        {"tool.pyw", "import os\n", false},
        {"tool.pyz", zip, false},
        {"site.url", "[InternetShortcut]\nURL=file:///bin/sh\n", false},
        {"bundle.zip", zip, false},
        {"page.html", "<html><body><SCRIPT>x()</SCRIPT></body></html>", false},
        {"page.htm", "<html><body onload = \"x()\"><p>hi</p></body></html>", false},
        {"link.html", "<html><a href=\"jav&#x09;ascript:x()\">x</a></html>", false},
        {"picture.svg", "<svg xmlns=\"http://www.w3.org/2000/svg\"><script>x()</script></svg>",
         false},
        {"saved.mht", "MIME-Version: 1.0\nContent-Type: multipart/related; boundary=b\n\n", false},
        {"readme.txt.", "Read me.\n", true},
        {"MANUAL.DOC", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1" + std::string(504, '\0'), true},
        {"report.pdf", "%PDF-1.4\n%\xE2\xE3\n", true},
        {"logo.png", png.toStdString(), true},
        {"page.html",
         "<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; "
         "charset=Shift_JIS\">"
         "</head><body><p>Only words.</p></body></html>",
         true},
    };
    for (const auto& file : files) {
        const std::string path = folder.File(ExportFileName(file.name));
        WriteBytes(path, file.content);
        const std::optional<QString> refusal = HandOverRefusal(QString::fromStdString(path));
        EXPECT_EQ(!IsExecutable(file.name, file.content) && !refusal, file.handedOver)
            << file.name << ": " << refusal.value_or(QString()).toStdString();
        fs::remove(path);
    }
}

// A ZIP64 archive of one stored entry of 4 GiB + 1: a text at its front, the
// rest a hole in a sparse file. The fields as APPNOTE 4.3.7, 4.3.12 and 4.5.3
// lay them out; the CRC is never reached.
void WriteHugeZip(const std::string& path, std::string_view front) {
    const std::uint64_t size = (std::uint64_t{4} << 30) + 1;
    const std::string name = "HUGE.TXT";
    std::string out;
    const auto u16 = [&](std::uint64_t v) { out += {char(v), char(v >> 8)}; };
    const auto u32 = [&](std::uint64_t v) { u16(v & 0xFFFF), u16(v >> 16 & 0xFFFF); };
    const auto u64 = [&](std::uint64_t v) { u32(v & 0xFFFFFFFF), u32(v >> 32); };
    const auto sizes = [&] { u16(1), u16(16), u64(size), u64(size); };  // the ZIP64 field
    u32(0x04034B50), u16(45), u16(0), u16(0), u32(0), u32(0);
    u32(0xFFFFFFFF), u32(0xFFFFFFFF), u16(name.size()), u16(20);
    out += name;
    sizes();
    const std::uint64_t dataAt = out.size();
    out += front;
    std::ofstream file(path, std::ios::binary);
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
    const std::uint64_t central = dataAt + size;
    out.clear();
    u32(0x02014B50), u16(45), u16(45), u16(0), u16(0), u32(0), u32(0);
    u32(0xFFFFFFFF), u32(0xFFFFFFFF), u16(name.size()), u16(20), u16(0), u16(0), u16(0);
    u32(0), u32(0);
    out += name;
    sizes();
    const std::uint64_t centralSize = out.size();
    u32(0x06064B50), u64(44), u16(45), u16(45), u32(0), u32(0), u64(1), u64(1);
    u64(centralSize), u64(central);
    u32(0x07064B50), u32(0), u64(central + centralSize), u32(1);
    u32(0x06054B50), u16(0), u16(0), u16(0xFFFF), u16(0xFFFF), u32(0xFFFFFFFF);
    u32(0xFFFFFFFF), u16(0);
    file.seekp(static_cast<std::streamoff>(central));
    file.write(out.data(), static_cast<std::streamsize>(out.size()));
}

// Peak virtual memory of this process, in KiB.
std::uint64_t PeakKiB() {
    std::istringstream status(ReadBytes("/proc/self/status"));
    for (std::string line; std::getline(status, line);) {
        if (line.starts_with("VmPeak:")) {
            return std::stoull(line.substr(7));
        }
    }
    return 0;
}

TEST_F(ViewerWindowTest, HostileArchivesGiveAClearMessageAndCostNoMoreThanTheLimit) {
    // Archives cut short, of each format, list what is left and say so;
    // empty ones say they are empty.
    const std::string makeEmpty =
        "cd '" + mTemp.Path() +
        "' && echo x >E.TXT && lha aq empty.lzh E.TXT && lha dq empty.lzh "
        "E.TXT && zip -q empty.zip E.TXT && zip -qd empty.zip E.TXT && yes 'Line of B' | "
        "head -c 300000 >B.TXT && zip -q0 whole.zip E.TXT B.TXT && "
        "head -c 150000 whole.zip >cut.zip";
    ASSERT_EQ(std::system(makeEmpty.c_str()), 0);
    const char* unreadable = "読めません";
    const char* noDocument = "文書がありません";
    const char* empty = "ファイルが入っていません";
    const struct {
        std::string archive;
        const char* message;
        bool cut;
    } broken[] = {
        {"corrupt/lha_cut_in_first_header.lzh", unreadable, false},
        {"corrupt/lha_bad_checksum.lzh", unreadable, false},
        {"corrupt/cab_bad_version.cab", unreadable, false},
        {"corrupt/empty.bin", unreadable, false},
        {"stub/stub_8k.exe", unreadable, false},
        {"corrupt/lha_cut_in_data.lzh", noDocument, true},
        {"corrupt/cab_cut.cab", "壊れているため", true},
        {"corrupt/zip_cut_end.zip", "Line 1 of the read-me", true},
        {mTemp.File("cut.zip"), "Line of B", true},
        {mTemp.File("empty.lzh"), empty, false},
        {mTemp.File("empty.zip"), empty, false},
        {"../quorvix/encrypted.zip", "暗号化", false},
        {mTemp.File("missing.lzh"), "見つかりません", false},
        {mTemp.Path(), "フォルダは書庫として開けません", false},
    };
    for (const auto& [archive, message, cut] : broken) {
        SCOPED_TRACE(archive);
        Open(archive.starts_with('/') ? archive : Fixture("archives/" + archive));
        EXPECT_EQ(Page(), message[0] == 'L' ? "txtDocument" : "pnlMessage");
        EXPECT_TRUE(Shown().contains(QString::fromUtf8(message))) << Shown().toStdString();
        EXPECT_EQ(Status().contains(QStringLiteral("途中までしか一覧できません")), cut)
            << Status().toStdString();
    }

    // A bomb: 80 MiB of text that deflates to a few hundred KiB; and a
    // 4 GiB entry, a single line. Each shows its first part and says so.
    const std::string bomb = mTemp.File("bomb.zip");
    const std::string make = "cd '" + mTemp.Path() +
                             "' && yes 'これはテキストです。' | head -c 80M | zip -q bomb.zip - && "
                             "printf '@ -\\n@=BOMB.TXT\\n' | zipnote -w bomb.zip";
    ASSERT_EQ(std::system(make.c_str()), 0);
    const std::string huge = mTemp.File("huge.zip");
    std::string front;
    while (front.size() < (2 << 20)) {
        front += "これは大きな文書です。";
    }
    WriteHugeZip(huge, front);
    for (const std::string& archive : {bomb, huge}) {
        SCOPED_TRACE(archive);
        const std::uint64_t before = PeakKiB();
        mWindow = std::make_unique<frmQuorvix>(mIni, QString::fromStdString(mPrivate));
        mWindow->SetTextLimit(1 << 20);
        mWindow->OpenArchive(archive);
        EXPECT_EQ(Page(), QLatin1String("txtDocument"));
        EXPECT_TRUE(Status().contains(QStringLiteral("先頭の 1 MiB だけ")))
            << Status().toStdString();
        // At once, at most the first 32 K characters and the rest of their
        // line, or only those in a line that goes on, shown in lines the
        // layout bears.
        EXPECT_LE(Shown().size(), 32 * 1024 + 16);
        EXPECT_LE(
            LongestListAndLine(*Find<QPlainTextEdit>(*mWindow, "txtDocument")->document()).second,
            4096);
        // All of the first MiB, though not yet filled in behind the first
        // screen; a character the limit cut in two is one replacement.
        Trigger("mnuSelectAll");
        Trigger("mnuCopy");
        EXPECT_NEAR(QApplication::clipboard()->text().toUtf8().size(), 1 << 20, 3);
        // Nothing near the entry's size was ever reserved.
        EXPECT_LT(PeakKiB() - before, 512u << 10);
    }
}

TEST_F(ViewerWindowTest, OptionsWriteTheirTwoKeysAndNothingElse) {
    // A value in Shift-JIS, a "PrevInstance" that only 1 turns on.
    const std::string tail = "DroppedArcFile=1\r\n[Other]\r\nx=1\r\n";
    const std::string before =
        "; mine\r\n[Option]\r\nPrevInstance=2\r\nDocType=HLP \x82\xA0\r\n" + tail;
    const struct {
        bool tick;
        const char *docType, *button;
        std::string after;
    } answers[] = {
        {true, nullptr, "btnOK",
         "; mine\r\n[Option]\r\nPrevInstance=1\r\nDocType=HLP \x82\xA0\r\n" + tail},
        {false, "  PDF   HTM ", "btnOK",
         "; mine\r\n[Option]\r\nPrevInstance=2\r\nDocType=PDF HTM\r\n" + tail},
        {true, "PDF", "btnCancel", before},
    };
    for (const auto& answer : answers) {
        WriteBytes(mIniPath, before);
        frmOption dialog(mIni);
        dialog.show();
        auto* prevInstance = Find<QCheckBox>(dialog, "chkPrevInstance");
        EXPECT_FALSE(prevInstance->isChecked());
        prevInstance->setChecked(answer.tick);
        if (answer.docType != nullptr) {
            Find<QLineEdit>(dialog, "txtDocType")->setText(answer.docType);
        }
        Find<QPushButton>(dialog, answer.button)->click();
        EXPECT_EQ(ReadBytes(mIniPath), answer.after) << answer.button;
    }

    // A file that cannot be written keeps the dialog open and says so.
    SettingsStore nowhere(mTemp.File("missing/Quorvix.ini"));
    frmOption dialog(nowhere);
    dialog.show();
    Find<QCheckBox>(dialog, "chkPrevInstance")->setChecked(true);
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(
        Find<QLabel>(dialog, "lblError")->text().contains(QStringLiteral("書き込めません")));
}

TEST_F(ViewerWindowTest, SettingsThroughALinkAreNeitherReadNorWrittenAndTheStatusSaysWhy) {
    const std::string target = mTemp.Write("elsewhere/profile", "[Window]\nWidth=1000\n");
    fs::remove(mIniPath);
    ASSERT_EQ(symlink(target.c_str(), mIniPath.c_str()), 0);
    const QString why = QString::fromStdString(
        "設定ファイル " + mIniPath +
        " はリンクか、別のユーザーのものです。設定は読み書きせず、既定の設定で動きます。");
    Open(Fixture("quorvix/sjis_lh7.lzh"));
    EXPECT_EQ(mWindow->width(), 900);
    EXPECT_EQ(Find<QLabel>(*mWindow, "lblSettings")->text(), why);
    mWindow->close();
    frmOption dialog(mIni);
    EXPECT_EQ(Find<QLabel>(dialog, "lblError")->text(), why);
    Find<QPushButton>(dialog, "btnOK")->click();
    EXPECT_EQ(ReadBytes(target), "[Window]\nWidth=1000\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(mTemp.File("elsewhere")), {}), 1);
}

}  // namespace
}  // namespace mervok::quorvix

#include "quorvix_window_test.moc"
