// The windows around the sheets as they open at the main window's design size: every analysis
// window wholly inside the client area, no axis title elided, sizes remembered, the window
// menu's commands.
#include <QTest>

#include "shell_fixture.hpp"

class WindowsTest : public pellucor::shell::testing::SessionTest {
  Q_OBJECT
};

PELLUCOR_SHELL_TEST_MAIN(WindowsTest)
#include "windows_test.moc"
