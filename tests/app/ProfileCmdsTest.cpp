// The profile commands of the Options tab and the new-project command, on a real profiles file.
#include "AppFixture.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QSpinBox>

#include "grid/GfxGrid.h"
#include "settings/VlxProfileU.h"

namespace {

class TProfileCmdsTest : public TAppTest {
protected:
    // Adds a profile of the current settings under a name, as the user would.
    void Add(const QString& name) {
        D().Inputs = {name};
        W().Options->Prf_AddA->trigger();
    }
    QStringList ListItems() const {
        QStringList items;
        for (int i = 0; i < FWindow->Options->ProfilesCB->count(); ++i)
            items << FWindow->Options->ProfilesCB->itemText(i);
        return items;
    }
    // The stored record of a profile; fails the test when there is none.
    TProfileRecord Stored(const QString& name) {
        TProfileRecord record;
        const int index = W().Profiles()->FindProfile(name);
        EXPECT_GE(index, 0) << name.toStdString();
        if (index >= 0)
            W().Profiles()->ReadProfile(index, record);
        return record;
    }
    QByteArray StoreBytes() const { return ReadBytes(FConfig.File("profiles.vlx")); }
    // The user picks a list item.
    void Pick(const QString& name) {
        const int index = W().Options->ProfilesCB->findText(name);
        ASSERT_GE(index, 0) << name.toStdString();
        W().Options->ProfilesCB->setCurrentIndex(index);
        emit W().Options->ProfilesCB->activated(index);
    }
};

} // namespace

TEST_F(TProfileCmdsTest, AddedProfileHoldsTheSettingsAndBecomesCurrent) {
    W().Render->ThumbWSE->setValue(180);
    Add("Trip");
    ASSERT_EQ(D().Queries.size(), 1u);
    EXPECT_EQ(D().Queries[0].Caption, "Add current settings to profile list");
    EXPECT_EQ(D().Queries[0].Prompt, "New profile name");
    EXPECT_EQ(D().Queries[0].Initial, "My profile");
    EXPECT_EQ(Stored("Trip").ThumbWidth, 180);
    EXPECT_EQ(W().ProfileName(), "Trip");
    EXPECT_EQ(W().Options->ProfilesCB->currentText(), "Trip");
    EXPECT_EQ(W().StatusP2->text(), "Profile:Trip");
}

TEST_F(TProfileCmdsTest, ListIsSortedWithoutRegardToCase) {
    for (const char* name : {"beta", "Alpha", "gamma", "Delta"})
        Add(name);
    EXPECT_EQ(ListItems(), (QStringList{"Alpha", "beta", "default", "Delta", "gamma"}));
}

TEST_F(TProfileCmdsTest, AddingAnExistingNameInAnyCaseIsRefusedNamingIt) {
    const QByteArray before = StoreBytes();
    Add("DEFAULT");
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Error);
    EXPECT_EQ(D().Messages[0].Text, "Profile \"DEFAULT\" already exists");
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(W().ProfileName(), "default");
}

class TEmptyNameTest : public TProfileCmdsTest, public testing::WithParamInterface<const char*> {};

// An empty name is the mark of a free slot: stored, it would vanish from the list and be overwritten.
TEST_P(TEmptyNameTest, IsRefusedWithAClearMessage) {
    Add("Trip");
    const QByteArray before = StoreBytes();
    D().Messages.clear();
    Add(GetParam());
    D().Inputs = {GetParam()};
    W().Options->Prf_EditA->trigger();
    ASSERT_EQ(D().Messages.size(), 2u);
    for (const auto& shown : D().Messages)
        EXPECT_EQ(shown.Text, "Profile name can't be empty");
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(W().ProfileName(), "Trip");
}

INSTANTIATE_TEST_SUITE_P(Names, TEmptyNameTest, testing::Values("", "   "));

TEST_F(TProfileCmdsTest, CancelledInputChangesNothing) {
    const QByteArray before = StoreBytes();
    W().Options->Prf_AddA->trigger();
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_TRUE(D().Messages.empty());
}

TEST_F(TProfileCmdsTest, DefaultProfileKeepsItsNameAndPlace) {
    const QByteArray before = StoreBytes();
    W().Options->Prf_EditA->trigger();
    W().Options->Prf_DelA->trigger();
    ASSERT_EQ(D().Messages.size(), 2u);
    EXPECT_EQ(D().Messages[0].Text, "Can't change default profile name");
    EXPECT_EQ(D().Messages[1].Text, "Can't remove default profile");
    EXPECT_EQ(D().Messages[1].Kind, TMsgKind::Information);
    EXPECT_TRUE(D().Queries.empty());
    EXPECT_EQ(StoreBytes(), before);
}

TEST_F(TProfileCmdsTest, RenamingToTheSameNameInAnotherCaseDoesNothing) {
    Add("My profile");
    const QByteArray before = StoreBytes();
    D().Inputs = {"my PROFILE"};
    W().Options->Prf_EditA->trigger();
    ASSERT_EQ(D().Queries.size(), 2u);
    EXPECT_EQ(D().Queries[1].Caption, "Change current profile name");
    EXPECT_EQ(D().Queries[1].Initial, "My profile");
    EXPECT_TRUE(D().Messages.empty());
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(W().ProfileName(), "My profile");
}

TEST_F(TProfileCmdsTest, RenameSavesTheSettingsUnderTheNewNameInTheSameSlot) {
    Add("Trip");
    const int slot = W().Profiles()->FindProfile("Trip");
    W().Render->ThumbWSE->setValue(99);
    D().Inputs = {"Voyage"};
    W().Options->Prf_EditA->trigger();
    EXPECT_EQ(W().Profiles()->FindProfile("Voyage"), slot);
    EXPECT_LT(W().Profiles()->FindProfile("Trip"), 0);
    EXPECT_EQ(Stored("Voyage").ThumbWidth, 99);
    EXPECT_EQ(ListItems(), (QStringList{"default", "Voyage"}));
    EXPECT_EQ(W().ProfileName(), "Voyage");
}

TEST_F(TProfileCmdsTest, RenamingOntoAnotherProfileIsRefused) {
    Add("Trip");
    Add("Home");
    const QByteArray before = StoreBytes();
    D().Inputs = {"trip"};
    W().Options->Prf_EditA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Text, "Profile \"trip\" already exists");
    EXPECT_EQ(StoreBytes(), before);
}

TEST_F(TProfileCmdsTest, RemovingSelectsAndAppliesTheAlphabeticallyFirst) {
    W().Render->ThumbWSE->setValue(77);
    Add("alpha");
    W().Render->ThumbWSE->setValue(88);
    Add("Zulu");
    D().Answers = {TModalResult::Yes};
    W().Options->Prf_DelA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Warning);
    EXPECT_EQ(D().Messages[0].Buttons, TMsgButtons::YesNo);
    EXPECT_EQ(D().Messages[0].Text, "Profile \"Zulu\" will be removed from list.\rRemove?");
    EXPECT_LT(W().Profiles()->FindProfile("Zulu"), 0);
    EXPECT_EQ(ListItems(), (QStringList{"alpha", "default"}));
    EXPECT_EQ(W().ProfileName(), "alpha");
    EXPECT_EQ(W().Options->ProfilesCB->currentText(), "alpha");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 77);
}

TEST_F(TProfileCmdsTest, RemovalAnsweredNoKeepsTheProfile) {
    Add("Trip");
    const QByteArray before = StoreBytes();
    D().Answers = {TModalResult::No};
    W().Options->Prf_DelA->trigger();
    EXPECT_EQ(StoreBytes(), before);
    EXPECT_EQ(W().ProfileName(), "Trip");
}

TEST_F(TProfileCmdsTest, SaveOverwritesTheCurrentProfileAfterConfirmation) {
    W().Render->ThumbWSE->setValue(123);
    D().Answers = {TModalResult::No};
    W().Options->Prf_SaveA->trigger();
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_EQ(D().Messages[0].Kind, TMsgKind::Confirmation);
    EXPECT_EQ(D().Messages[0].Text, "Overwrite \"default\" profile ?");
    EXPECT_EQ(Stored("default").ThumbWidth, 150);
    D().Answers = {TModalResult::Yes};
    W().Options->Prf_SaveA->trigger();
    EXPECT_EQ(Stored("default").ThumbWidth, 123);
    EXPECT_EQ(Stored("default").Name, "default");
}

TEST_F(TProfileCmdsTest, PickingAProfileAppliesItOnlyWhenItIsAnother) {
    W().Render->ThumbWSE->setValue(111);
    Add("Trip");
    Pick("default");
    EXPECT_EQ(W().ProfileName(), "default");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 150);
    W().Render->ThumbWSE->setValue(140);
    Pick("default"); // the current one: the unsaved setting stays
    EXPECT_EQ(W().Render->ThumbWSE->value(), 140);
    D().Answers = {TModalResult::No};
    Pick("Trip");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 111);
}

// Settings changed since a profile was chosen are offered to it before another one replaces them: Cancel
// keeps them, Yes saves them to it, No leaves it as it was; unchanged settings are not asked about.
TEST_F(TProfileCmdsTest, ChangedSettingsAreOfferedToTheirProfileBeforeAnotherIsChosen) {
    Add("Trip");
    Pick("default");
    EXPECT_TRUE(D().Messages.empty());
    W().Render->ThumbWSE->setValue(140);
    Pick("Trip");
    ASSERT_EQ(D().Messages.size(), 1u);
    EXPECT_TRUE(
        D().Messages[0].Text.startsWith("The settings were changed since profile \"default\" was chosen"))
        << D().Messages[0].Text.toStdString();
    EXPECT_EQ(W().ProfileName(), "default");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 140);
    D().Answers = {TModalResult::Yes};
    Pick("Trip");
    EXPECT_EQ(W().ProfileName(), "Trip");
    EXPECT_EQ(Stored("default").ThumbWidth, 140);
    W().Render->ThumbWSE->setValue(90);
    D().Answers = {TModalResult::No};
    Pick("default");
    EXPECT_EQ(Stored("Trip").ThumbWidth, 150);
    EXPECT_EQ(W().Render->ThumbWSE->value(), 140);
}

// A new gallery keeps the look and the table in effect; the pictures go once the question is answered.
TEST_F(TProfileCmdsTest, NewProjectEmptiesTheGridAndKeepsTheSettings) {
    Load(0, 0, TestData("gen/jpeg_baseline_420.jpg"));
    Load(2, 1, TestData("gen/bmp_24bpp.bmp"));
    W().Render->ThumbWSE->setValue(60);
    Add("Trip");
    D().Answers = {TModalResult::No};
    W().Commands->NewProjectA->trigger();
    EXPECT_EQ(W().CountPictures(), 0);
    EXPECT_EQ(W().ProfileName(), "Trip");
    EXPECT_EQ(W().Render->ThumbWSE->value(), 60);
    EXPECT_EQ(W().StatusP1->text(), "Table: 3x2  Images: 0");
}

TEST_F(TProfileCmdsTest, ProfileGoneFromTheFileIsReportedWhenSaved) {
    Add("Trip");
    {
        // Another copy of the program removes it.
        TProfileManager other(FConfig.File("profiles.vlx"));
        other.DeleteProfile(other.FindProfile("Trip"));
    }
    const QByteArray before = StoreBytes();
    D().Answers = {TModalResult::Yes};
    W().Options->Prf_SaveA->trigger();
    ASSERT_EQ(D().Errors.size(), 1);
    EXPECT_TRUE(D().Errors[0].contains("\"Trip\"")) << D().Errors[0].toStdString();
    D().Errors.clear();
    EXPECT_EQ(StoreBytes(), before);
}
