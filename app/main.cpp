// Tarvo: creates the process-wide objects in order and runs the main loop.
#include <QApplication>
#include <QTimer>

#include <cstdio>
#include <string>
#include <vector>

#include "platform/Locations.h"
#include "platform/Registry.h"
#include "platform/qt/QtDispatcher.h"
#include "ui/HauptU.h"

namespace {

// "--quit-after MS" ends the program after MS milliseconds (smoke tests).
int QuitAfter(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--quit-after") return std::atoi(args[i + 1].c_str());
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tarvo"));
    std::vector<std::string> args(argv, argv + argc);

    std::string error;
    auto locations = tarvo::platform::ResolveLocations(args, &error);
    if (!locations) {
        std::fprintf(stderr, "tarvo: %s\n", error.c_str());
        return 4;
    }
    if (auto ec = tarvo::platform::CreateLocations(*locations)) {
        std::fprintf(stderr, "tarvo: cannot create %s: %s\n", locations->dataDir.c_str(),
                     ec.message().c_str());
        return 4;
    }
    std::error_code ec;
    auto settings = tarvo::platform::FileRegistry::Open(locations->settingsFile, ec);
    if (!settings) {
        std::fprintf(stderr, "tarvo: cannot read %s: %s\n", locations->settingsFile.c_str(),
                     ec.message().c_str());
        return 4;
    }

    tarvo::platform::QtDispatcher dispatcher;
    tarvo::ui::THauptfenster window;
    window.show();

    if (const int ms = QuitAfter(args); ms >= 0) QTimer::singleShot(ms, &window, &QWidget::close);
    const int rc = QApplication::exec();
    dispatcher.BeginShutdown();
    settings->Flush();
    return rc;
}
