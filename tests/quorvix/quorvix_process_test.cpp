// The built viewer as the search window meets it: its version, one viewer per
// user with "PrevInstance" = 1, SIGTERM.

#include <QPlainTextEdit>

#include <cstdlib>

#include "app/file_version.h"
#include "app/settings_store.h"
#include "quorvix/frm_quorvix.h"
#include "quorvix/instance_channel.h"
#include "quorvix/quorvix_main.h"
#include "quorvix_test_support.h"

namespace mervok::quorvix {
namespace {

using namespace test;

TEST(ViewerProgramTest, CarriesTheProjectVersionSoThatTheSearchHonoursDocType) {
    const std::int32_t version = MERVOK_VERSION_MAJOR * 100 + MERVOK_VERSION_MINOR;
    ASSERT_GE(version, 100);
    EXPECT_EQ(GetViewerVersion(MERVOK_DIST_DIR), version);
    TempFolder folder;
    const std::string stripped = folder.File("Quorvix.exe");
    ASSERT_EQ(
        std::system(("strip -o '" + stripped + "' '" MERVOK_DIST_DIR "/Quorvix.exe'").c_str()), 0);
    EXPECT_EQ(GetViewerVersion(folder.Path()), version);
    EXPECT_EQ(GetFileVersion(MERVOK_DIST_DIR "/mervok-search"), std::nullopt);

    // From the ready-to-run folder the search finds an archive whose only
    // documents are pages.
    fs::create_directory(folder.File("tree"));
    fs::copy_file(Fixture("quorvix/html.zip"), folder.File("tree/pages.zip"));
    const std::string search =
        MERVOK_DIST_DIR "/mervok-search '" + folder.File("tree") + "' | grep -q pages.zip";
    EXPECT_EQ(std::system(search.c_str()), 0);
}

TEST(ViewerProgramTest, OneViewerTakesTheNextArchiveUnlessTheSearchStartedIt) {
    App();
    ViewerFolder folder("[Option]\r\nPrevInstance=1\r\n");
    SettingsStore ini(folder.Ini());
    frmQuorvix window(ini, {});
    window.OpenArchive(Fixture("quorvix/eucjp.zip"));
    window.showMinimized();
    InstanceServer server;
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(folder.Runtime()));
    ASSERT_TRUE(server.Listen(InstanceServerName(folder.Folder())));
    ShowHandedOver(server, window);
    InstanceServer late;  // a viewer that answers keeps the name
    EXPECT_FALSE(late.Listen(InstanceServerName(folder.Folder())));

    // The entry and the text go with the archive: the match on line 24 is
    // marked, not the one on line 2.
    const int status = folder
                           .Start({"--entry", "説明書.TXT", "--find", "ファイル", "--line", "24",
                                   Fixture("quorvix/sjis_lh7.lzh")})
                           ->WaitForEnd();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("説明書.TXT - sjis_lh7.lzh - Quorvix"));
    const auto marks = Find<QPlainTextEdit>(window, "txtDocument")->extraSelections();
    ASSERT_EQ(marks.size(), 1);
    EXPECT_EQ(marks[0].cursor.selectedText(), QStringLiteral("ファイル"));
    EXPECT_EQ(marks[0].cursor.blockNumber(), 23);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_FALSE(folder.HasPrivateFolder());

    // Started from the search's list, or with "PrevInstance" off, a viewer
    // keeps its own window; the search's flag stands for one start only.
    for (const char* settings :
         {"[Option]\r\nPrevInstance=1\r\nDroppedArcFile=1\r\n", "[Option]\r\nPrevInstance=0\r\n"}) {
        SCOPED_TRACE(settings);
        WriteBytes(folder.Ini(), settings);
        const auto viewer = folder.Start({Fixture("archives/zip/plain.zip")});
        ASSERT_TRUE(WaitUntil([&] { return folder.HasPrivateFolder(); }, RunEvents));
        EXPECT_TRUE(window.windowTitle().contains(QStringLiteral("sjis_lh7.lzh")));
        EXPECT_EQ(SettingsStore(folder.Ini()).GetInt("Option", "DroppedArcFile", 0), 0);
        kill(viewer->Pid(), SIGTERM);
        EXPECT_EQ(viewer->WaitForEnd(), 0);
    }

    // Two starts at the same moment: one hands its archive to the other,
    // which a later start finds too.
    ViewerFolder pair("[Option]\r\nPrevInstance=1\r\n");
    const auto first = pair.Start({Fixture("quorvix/eucjp.zip")});
    const auto second = pair.Start({Fixture("quorvix/sjis_lh7.lzh")});
    ASSERT_TRUE(WaitUntil([&] { return first->Ended() || second->Ended(); }, RunEvents));
    ViewerProcess& kept = first->Ended() ? *second : *first;
    EXPECT_EQ((first->Ended() ? *first : *second).WaitForEnd(), 0);
    EXPECT_EQ(pair.Start({Fixture("archives/zip/plain.zip")})->WaitForEnd(), 0);
    EXPECT_FALSE(kept.Ended());
    kill(kept.Pid(), SIGTERM);
    EXPECT_EQ(kept.WaitForEnd(), 0);

    // Another user made the private socket folder first: the name is not
    // used, and a viewer runs on its own, putting nothing there.
    ViewerFolder taken("[Option]\r\nPrevInstance=1\r\n");
    const std::string theirs = taken.Runtime() + "/quorvix-" + std::to_string(getuid());
    fs::create_directory(theirs);
    fs::permissions(theirs, fs::perms::all);
    if (getuid() == 0) {
        ASSERT_EQ(chown(theirs.c_str(), 65534, 65534), 0);
    }
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(taken.Runtime()));
    EXPECT_TRUE(InstanceServerName(taken.Folder()).isEmpty());
    const auto alone = taken.Start({Fixture("archives/zip/plain.zip")});
    ASSERT_TRUE(WaitUntil([&] { return taken.HasPrivateFolder(); }, RunEvents));
    kill(alone->Pid(), SIGTERM);
    EXPECT_EQ(alone->WaitForEnd(), 0);
    EXPECT_TRUE(fs::is_empty(theirs));
}

TEST(ViewerProgramTest, SigtermClosesTheWindowAndTheOptionsAtOnceAndCleanly) {
    const std::string options = "; mine\r\n[Option]\r\nDocType=DOC\r\n";
    ViewerFolder folder(options);
    // Its usage, and a wrong command line, are told without a display.
    const std::string noDisplay =
        "env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb '" + folder.Viewer() + "' ";
    EXPECT_EQ(std::system((noDisplay + "--help | grep -q -- '--find TEXT'").c_str()), 0);
    EXPECT_EQ(WEXITSTATUS(std::system((noDisplay + "--line 0 a.zip 2>/dev/null").c_str())), 2);

    // The options: nothing is written.
    const auto dialog = folder.Start({});
    ASSERT_TRUE(WaitUntil([&] { return mervok::testing::CatchesSignal(dialog->Pid(), SIGTERM); },
                          RunEvents));
    kill(dialog->Pid(), SIGTERM);
    EXPECT_EQ(dialog->WaitForEnd(), 0);
    EXPECT_EQ(ReadBytes(folder.Ini()), options);

    // The window: closed as by its close box, so its state is saved; its
    // private folder goes with it. It hears the signal while it prepares a
    // long text: a JIS run opened and a million line breaks.
    const std::string text = folder.Tmp() + "/JIS.TXT";
    WriteBytes(text, "\x1B$B" + std::string(1'000'000, '\n'));
    ASSERT_EQ(std::system(("zip -qj '" + folder.Tmp() + "/jis.zip' '" + text + "'").c_str()), 0);
    const auto viewer = folder.Start({folder.Tmp() + "/jis.zip"});
    ASSERT_TRUE(WaitUntil([&] { return folder.HasPrivateFolder(); }, RunEvents));
    kill(viewer->Pid(), SIGTERM);
    EXPECT_EQ(viewer->WaitForEnd(), 0);
    EXPECT_FALSE(folder.HasPrivateFolder());
    const std::string ini = ReadBytes(folder.Ini());
    EXPECT_TRUE(ini.starts_with(options));
    EXPECT_NE(ini.find("[Window]"), std::string::npos);

    // Also while it shows a page that Qt's layout alone would take minutes
    // over (tables nested 1,000 deep): the signal is heard once the page is
    // shown, and that is at once.
    TempFolder pages;
    std::string deep;
    for (int i = 0; i < 1000; ++i) {
        deep = "<table><tr><td>" + deep + "</td></tr></table>";
    }
    WriteBytes(pages.File("deep.htm"), deep);
    ASSERT_EQ(std::system(("cd '" + pages.Path() + "' && zip -q deep.zip deep.htm").c_str()), 0);
    ViewerFolder pageFolder("[Option]\r\nDocType=HTM\r\n");
    const auto busy = pageFolder.Start({pages.File("deep.zip")});
    ASSERT_TRUE(WaitUntil([&] { return pageFolder.HasPrivateFolder(); }, RunEvents));
    // Time to show the page: a signal sent before that is heard before the
    // layout starts.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    kill(busy->Pid(), SIGTERM);
    EXPECT_EQ(busy->WaitForEnd(), 0);
    EXPECT_FALSE(pageFolder.HasPrivateFolder());
}

}  // namespace
}  // namespace mervok::quorvix
