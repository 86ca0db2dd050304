// GoogleTest with a QApplication, as the window tests need one.
#include <gtest/gtest.h>

#include <QApplication>

int main(int argc, char** argv) {
  // CTest sets the offscreen platform; test discovery and hand runs get it too, since no test
  // needs a display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
