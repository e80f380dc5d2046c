#include "platform/widgets/MessageBox.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using namespace plat;

struct TShown {
    std::string Text, Caption;
    unsigned Flags;
};

class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetMessageBoxHandler([this](const std::string& T, const std::string& C, unsigned F) {
            Shown.push_back({T, C, F});
            return Answer;
        });
    }
    void TearDown() override { SetMessageBoxHandler(nullptr); }
    std::vector<TShown> Shown;
    int Answer = IDYES;
};

TEST_F(MessageBoxTest, HandlerSeesTheBoxAndGivesTheAnswer) {
    EXPECT_EQ(MessageBox("Delete?", "Corvane - Delete Confirmation", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2),
              IDYES);
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, "Delete?");
    EXPECT_EQ(Shown[0].Caption, "Corvane - Delete Confirmation");
    EXPECT_EQ(Shown[0].Flags, MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
}

TEST_F(MessageBoxTest, DefaultExceptionDisplay) {
    ShowException(EAbort());
    EXPECT_TRUE(Shown.empty());  // the silent abort shows nothing
    ShowException(std::runtime_error("Invalid data type for 'HomePage'"));
    ASSERT_EQ(Shown.size(), 1u);
    EXPECT_EQ(Shown[0].Text, "Invalid data type for 'HomePage'");
    EXPECT_FALSE(Shown[0].Caption.empty());
    EXPECT_EQ(Shown[0].Flags & 0xf0, MB_ICONERROR);
}

TEST(MessageBoxWithoutWindows, TakesTheCautiousAnswer) {
    // No widget application in this program: nobody could answer a real box.
    EXPECT_EQ(MessageBox("Delete?", "Corvane", MB_YESNO | MB_ICONWARNING), IDNO);
    EXPECT_EQ(MessageBox("Go on?", "Corvane", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBox("Done.", "Corvane", MB_OK), IDOK);
}

} // namespace
