// The places tree in the window: ticks by the state picture, listing on a
// click of the icon or label, the root rebuilding the drives.
#include <QScrollBar>

#include "tests/finder/window/WindowTestSupport.h"

using namespace corvane_test;

namespace {

std::vector<std::string> ChildNames(TPlaceNode* Node) {
    std::vector<std::string> Out;
    for (int I = 0; Node && I < Node->Count(); ++I) Out.push_back(Node->Child(I)->Text().toStdString());
    std::sort(Out.begin(), Out.end());
    return Out;
}

} // namespace

class PlacesWindowTest : public WindowTest {
protected:
    void SetUp() override {
        Tree.Dir("a/a1/a1x/a1xy");
        Tree.Dir("a/a2");
        Tree.Dir("b");
        Tree.Dir(".hidden");
        Tree.Dir("readonly", {.Mode = 0555});
        Tree.File("file.txt", {.Content = "x"});
        Tree.Link("link", "a");
        WindowTest::SetUp();
        Data = Drive("Data");
        ASSERT_NE(Data, nullptr);
    }
    TPlaceNode* Data = nullptr;
};

TEST_F(PlacesWindowTest, LabelClickListsTheFoldersOnly) {
    ClickNode(Data, NodePart::Label);
    EXPECT_EQ(ChildNames(Data), (std::vector<std::string>{".hidden", "a", "b", "readonly"}));
    EXPECT_TRUE(Data->isExpanded());
    TPlaceNode* A = ChildNamed(Data, "a");
    ASSERT_NE(A, nullptr);
    EXPECT_EQ(A->ImageIndex, places::ImageFolder);
    EXPECT_EQ(A->StateIndex, places::StateUnticked);
    ASSERT_NE(A->Data, nullptr);
    EXPECT_EQ(A->Data->Path, Tree.Root() + "/a/");
    EXPECT_EQ(A->Data->DisplayName, "a");
}

TEST_F(PlacesWindowTest, IconClickAndAnyButtonListToo) {
    ClickNode(Data, NodePart::Icon);
    EXPECT_EQ(Data->Count(), 4);
    TPlaceNode* A = ChildNamed(Data, "a");
    ClickNode(A, NodePart::Label, Qt::RightButton);
    EXPECT_EQ(ChildNames(A), (std::vector<std::string>{"a1", "a2"}));
}

TEST_F(PlacesWindowTest, EmptySpaceAndTheExpandButtonListNothing) {
    ClickNode(Data, NodePart::Empty);
    EXPECT_EQ(Data->Count(), 0);
    EXPECT_EQ(Data->StateIndex, places::StateUnticked);
}

TEST_F(PlacesWindowTest, TickReachesChildrenAndGrandchildrenOnly) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* A = ChildNamed(Data, "a");
    ClickNode(A, NodePart::Label);
    TPlaceNode* A1 = ChildNamed(A, "a1");
    ClickNode(A1, NodePart::Label);
    TPlaceNode* A1x = ChildNamed(A1, "a1x");
    ASSERT_NE(A1x, nullptr);

    ClickNode(Data, NodePart::State);
    EXPECT_EQ(Data->StateIndex, places::StateTicked);
    EXPECT_EQ(A->StateIndex, places::StateTicked);
    EXPECT_EQ(ChildNamed(Data, "b")->StateIndex, places::StateTicked);
    EXPECT_EQ(A1->StateIndex, places::StateTicked);
    EXPECT_EQ(ChildNamed(A, "a2")->StateIndex, places::StateTicked);
    EXPECT_EQ(A1x->StateIndex, places::StateUnticked);  // deeper listed nodes keep theirs
    // The parent never follows its child.
    EXPECT_EQ(Root()->StateIndex, places::StateUnticked);

    ClickNode(Data, NodePart::State);
    EXPECT_EQ(Data->StateIndex, places::StateUnticked);
    EXPECT_EQ(A->StateIndex, places::StateUnticked);
    EXPECT_EQ(A1->StateIndex, places::StateUnticked);
}

TEST_F(PlacesWindowTest, OpeningATickedFolderListsItsFoldersTicked) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* A = ChildNamed(Data, "a");
    ClickNode(A, NodePart::State);
    ClickNode(A, NodePart::Label);
    EXPECT_EQ(ChildNamed(A, "a1")->StateIndex, places::StateTicked);
    EXPECT_EQ(ChildNamed(A, "a2")->StateIndex, places::StateTicked);
}

TEST_F(PlacesWindowTest, OpeningAgainReListsWithTheFoldersCurrentState) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* B = ChildNamed(Data, "b");
    ClickNode(B, NodePart::State);
    ASSERT_EQ(B->StateIndex, places::StateTicked);
    Tree.Dir("c");
    ClickNode(Data, NodePart::Label);
    // A fresh listing: the new folder is there and the single tick is gone.
    EXPECT_EQ(ChildNames(Data), (std::vector<std::string>{".hidden", "a", "b", "c", "readonly"}));
    for (int I = 0; I < Data->Count(); ++I) EXPECT_EQ(Data->Child(I)->StateIndex, places::StateUnticked);
}

TEST_F(PlacesWindowTest, AFolderThatCannotBeListedGetsNoChildren) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* B = ChildNamed(Data, "b");
    ASSERT_EQ(::rmdir(Tree.Path("b").c_str()), 0);
    ClickNode(B, NodePart::Label);
    EXPECT_EQ(B->Count(), 0);
    EXPECT_EQ(Data->Count(), 4);
}

TEST_F(PlacesWindowTest, RootLabelRebuildsTheDrivesAndKeepsItsOwnTick) {
    ClickNode(Root(), NodePart::State);
    EXPECT_EQ(Root()->StateIndex, places::StateTicked);
    for (int I = 0; I < Root()->Count(); ++I) EXPECT_EQ(Root()->Child(I)->StateIndex, places::StateTicked);
    ClickNode(Data, NodePart::Label);
    ASSERT_EQ(Data->Count(), 4);
    EXPECT_EQ(Data->Child(0)->StateIndex, places::StateTicked);  // a ticked drive lists ticked folders

    ClickNode(Root(), NodePart::Label);
    EXPECT_EQ(Root()->StateIndex, places::StateTicked);
    ASSERT_EQ(Root()->Count(), 3);
    TPlaceNode* Fresh = Drive("Data");
    ASSERT_NE(Fresh, nullptr);
    EXPECT_EQ(Fresh->StateIndex, places::StateUnticked);
    EXPECT_EQ(Fresh->Count(), 0);
}

TEST_F(PlacesWindowTest, DrivesFollowTheMountTableAtEveryRebuild) {
    Mounts->Table().Entries.push_back(Mount("/media/new", plat::TMountKind::Removable, "NEW", true, 10));
    Mounts->Table().Entries[3].FreeBytes = 0;  // STICK is now full
    ClickNode(Root(), NodePart::Icon);
    std::vector<std::string> Names = ChildNames(Root());
    EXPECT_EQ(Names, (std::vector<std::string>{"Data", "NEW", "System"}));
}

TEST_F(PlacesWindowTest, SelectedFoldersShowTheOpenPicture) {
    ClickNode(Data, NodePart::Label);
    TPlaceNode* A = ChildNamed(Data, "a");
    Form->tvDiskDirGetImageIndex(Form->tvDiskDir, A);
    EXPECT_EQ(A->SelectedIndex, 3);
    Form->tvDiskDirGetImageIndex(Form->tvDiskDir, Data);
    EXPECT_EQ(Data->SelectedIndex, 1);
    Form->tvDiskDirGetImageIndex(Form->tvDiskDir, Root());
    EXPECT_EQ(Root()->SelectedIndex, 0);
}

TEST_F(PlacesWindowTest, ALargeFolderIsListedWhole) {
    for (int I = 0; I < 400; ++I) Tree.Dir("b/" + std::to_string(I));
    ClickNode(Data, NodePart::Label);
    TPlaceNode* B = ChildNamed(Data, "b");
    ClickNode(B, NodePart::Label);
    EXPECT_EQ(B->Count(), 400);
}

TEST_F(PlacesWindowTest, ALongNameWidensTheTreeToShowWhole) {
    const QString Long(60, 'n');
    Tree.Dir("a/" + Long.toStdString());
    ClickNode(Data, NodePart::Label);
    ClickNode(ChildNamed(Data, "a"), NodePart::Label);
    TPlaceNode* Node = ChildNamed(ChildNamed(Data, "a"), Long);
    ASSERT_NE(Node, nullptr);
    TPlacesTreeView* T = Form->tvDiskDir;
    const QRect Row = T->visualItemRect(Node);
    EXPECT_LE(T->LabelRect(Row, Node->Text()).right(), Row.right());
    EXPECT_GT(T->horizontalScrollBar()->maximum(), 0);
    // Its tick still answers a click after the view scrolls to it.
    ClickNode(Node, NodePart::State);
    EXPECT_EQ(Node->StateIndex, places::StateTicked);
}
