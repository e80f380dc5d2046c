#include "platform/widgets/MessageBox.h"

#include <gtest/gtest.h>

// No widget application in this program: nobody could answer a real box, so
// the cautious answer is taken.
TEST(MessageBox, WithoutWindowsTakesTheCautiousAnswer) {
    EXPECT_EQ(plat::MessageBox("Delete?", "Corvane", plat::MB_YESNO | plat::MB_ICONWARNING), plat::IDNO);
    EXPECT_EQ(plat::MessageBox("Go on?", "Corvane", plat::MB_OKCANCEL), plat::IDCANCEL);
    EXPECT_EQ(plat::MessageBox("Done.", "Corvane", plat::MB_OK), plat::IDOK);
}
