// Holds or probes the single-copy lock from a process of its own, so that the
// tests can run two real copies against each other.
//   single_copy_driver hold DIR NAME   prints "first" and waits for one
//                                      activation ("activated", exit 0)
//   single_copy_driver probe DIR NAME  prints "first", or asks the first copy
//                                      forward and prints "second" (delivered)
//                                      or "undelivered"
#include "app/single_copy.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>

namespace {

void Say(const char* word)
{
    std::printf("%s\n", word);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Unlike the executable's file name, as in the real program, so that a
    // lock check comparing the two would show up here.
    QCoreApplication::setApplicationName(QStringLiteral("Ambitone Driver"));
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 4 || (args[1] != "hold" && args[1] != "probe")) {
        std::fprintf(stderr, "usage: single_copy_driver hold|probe DIR NAME\n");
        return 64;
    }
    TSingleCopy copy(args[3], args[2]);
    if (args[1] == "probe") {
        if (copy.Acquire()) {
            Say("first");
            return 0;
        }
        Say(copy.ActivateFirstCopy(5000) ? "second" : "undelivered");
        return 0;
    }

    if (!copy.Acquire()) {
        Say("busy");
        return 2;
    }
    QObject::connect(&copy, &TSingleCopy::ActivationRequested, &app, [] {
        Say("activated");
        QCoreApplication::exit(0);
    });
    // A holder nobody activates must not outlive its test for long.
    QTimer::singleShot(60000, &app, [] { QCoreApplication::exit(3); });
    Say("first");
    return app.exec();
}
