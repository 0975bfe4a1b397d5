// Widget tests share one application object, the program's own, so that its
// error guard is under test too; they run offscreen with no display.
#include "app/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TAmbitoneApplication app(argc, argv);
    QApplication::setApplicationName("AmbitoneTests");
    QApplication::setOrganizationName("AmbitoneTests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
