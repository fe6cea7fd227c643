// The desktop tests run offscreen, with the toolkit's font as the application font, inside one
// QApplication.

#include "ui/toolkit/UiStyle.h"

#include <QApplication>
#include <QDir>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Also when ctest lists the tests, which it does without the tests' environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
        const std::string runtime = "/tmp/lvtb-ui-tests-" + std::to_string(getuid());
        ::mkdir(runtime.c_str(), 0700);
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(runtime));
    }
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    TessarinEditor::installToolkitFont();
    return RUN_ALL_TESTS();
}
