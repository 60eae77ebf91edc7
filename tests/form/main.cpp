// Runs the window tests inside a real QApplication on Qt's offscreen
// platform, with SDL's dummy audio driver.
#include "ui/winsys/application.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qputenv("SDL_AUDIODRIVER", "dummy");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  Application.Title = "Mervolo";
  return RUN_ALL_TESTS();
}
