// The window tests' main: the offscreen platform unless the caller chose one (a real display
// under Xvfb, say), one QApplication for the whole run, then GoogleTest.
#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Fonts are asked for by face; a machine without the face gets fontconfig's nearest.
    setenv("QT_LOGGING_RULES", "qt.qpa.fonts=false", 0);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
