// Fuzzes a page as the viewer shows it: any bytes, decoded as a page is,
// rebuilt within the layout's limits and laid out by Qt's text engine on the
// offscreen platform. A crash, or an input that takes over the run's time
// bound, is a finding.

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QTextDocument>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "app/text_decoding.h"
#include "quorvix/html_view.h"
#include "quorvix/page_bounds.h"

namespace {

mervok::quorvix::HtmlView& View() {
    static QApplication* app = [] {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static int argc = 1;
        static char name[] = "page_fuzzer";
        static char* argv[] = {name, nullptr};
        return new QApplication(argc, argv);
    }();
    static auto* view = [] {
        auto* created = new mervok::quorvix::HtmlView;
        created->resize(800, 600);
        return created;
    }();
    (void)app;
    return *view;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mervok;
    using namespace mervok::quorvix;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const DecodedText page = DecodeText(bytes, DeclaredHtmlEncoding(bytes));
    const BoundedPage bounded = BoundPage(page.utf8);
    if (bounded.tooLarge || bounded.tableDepth > kMaxTableDepth) {
        if (!bounded.tooLarge) {
            std::abort();  // a limit that did not hold
        }
        return 0;
    }
    HtmlView& view = View();
    view.SetPage(
        QString::fromStdString(bounded.html), QString(),
        [](const QString&, std::uint64_t) { return std::optional<QByteArray>(); },
        bounded.styleRules);
    view.document()->setTextWidth(780);
    (void)view.document()->documentLayout()->documentSize();
    return 0;
}
