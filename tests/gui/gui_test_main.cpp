// The window tests' main: the offscreen platform unless the caller chose one (a real display
// under Xvfb, say), one QApplication for the whole run, then GoogleTest.
#include <QApplication>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <thread>

namespace {

// Threads of this process still running (the main one included).
long RunningThreads() {
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return std::distance(std::filesystem::begin(tasks), std::filesystem::end(tasks));
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Fonts are asked for by face; a machine without the face gets fontconfig's nearest.
    setenv("QT_LOGGING_RULES", "qt.qpa.fonts=false", 0);
    QApplication application(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    // Qt converts large images on its pooled threads. Take them out of the pool and let them
    // leave the process entirely: one still on its way out at exit holds its thread data where
    // the leak check no longer sees it.
    QThreadPool::globalInstance()->waitForDone();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
    while (RunningThreads() > 1 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return result;
}
