// Entry of the window tests: starts the toolkit once (under a virtual X
// server), routes its log messages to standard error so that no test waits on
// a modal log box, then runs the tests.
#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/wx.h>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests needs no display.
  if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
  // A real application object: without one the toolkit starts as a console
  // program and windows cannot be created.
  wxApp::SetInstance(new wxApp);
  if (!wxEntryStart(argc, argv)) {
    fprintf(stderr, "The windowing toolkit could not start (no display?)\n");
    return 1;
  }
  delete wxLog::SetActiveTarget(new wxLogStderr);
  wxInitAllImageHandlers();
  int result = RUN_ALL_TESTS();
  wxEntryCleanup();
  return result;
}
