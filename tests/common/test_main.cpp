// The entry of every test executable: GoogleTest's own, with a guard against message boxes
// that no case expects, which would otherwise wait for an answer until the run times out.
#include <gtest/gtest.h>

#include "tests/common/message_boxes.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  GuardAgainstUnexpectedMessageBoxes();
  return RUN_ALL_TESTS();
}
