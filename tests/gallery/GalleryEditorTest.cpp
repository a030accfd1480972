// The open gallery without a window: every kind of edit undone and redone, "modified" against the saved
// state, a file changed since it was opened, and how many steps a large table keeps.
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include "gallery/GalleryDocument.h"
#include "gallery/GalleryEditor.h"
#include "support/TestSupport.h"

namespace {

// The view a window would be: the number of times a state was shown again. The gallery is the editor's.
struct TShown {
    int Shows = 0;
};

class TGalleryEditorTest : public testing::Test {
protected:
    TGalleryEditorTest()
        : Editor({[this] {
                      auto state = std::make_shared<TEditState>();
                      auto grid = std::make_shared<TGridContent>();
                      grid->Gallery = Editor.Gallery();
                      state->Grid = std::move(grid);
                      state->Settings = Editor.Settings();
                      return TEditStatePtr(state);
                  },
                  [this](const TEditStatePtr& state) {
                      Editor.Gallery() = state->Grid->Gallery;
                      Editor.SetSettings(state->Settings);
                      ++Shown.Shows;
                      // Showing a state is no edit of its own.
                      Editor.Record("shown");
                  }}) {
        Editor.Gallery().SetTableSize(3, 2);
        Editor.Started({}, {}, "id-1", "/out/");
    }

    void Place(int col, int row, const QString& name) {
        Editor.Edit("Place pictures", [&] {
            Editor.Gallery().SetCell(col, row, {name, "/pics/" + name, "/pics/" + name, {}, {}});
        });
    }
    QString Name(int col, int row) const { return Editor.Gallery().Cell(col, row).Name; }

    TShown Shown;
    TGalleryEditor Editor;
};

} // namespace

TEST_F(TGalleryEditorTest, EveryKindOfEditIsUndoneAndRedoneInTurn) {
    Place(0, 0, "a.jpg");
    Place(1, 0, "b.jpg");
    Editor.Edit("Move picture", [&] { Editor.Gallery().SwapCells(0, 0, 2, 1); });
    Editor.Edit("Type a caption", [&] { Editor.Gallery().SetCaption(1, 0, "Harbour"); });
    Editor.Edit("Clear cell", [&] { Editor.Gallery().ClearCell(1, 0); });
    Editor.Edit("Table size", [&] { Editor.Gallery().SetTableSize(4, 3); });
    // A setting typed key by key is one step; another control's is a step of its own.
    Editor.Gallery().Settings.Thumb.ThumbWidth = 160;
    Editor.Record("Thumbnail width");
    Editor.Gallery().Settings.Thumb.ThumbWidth = 170;
    Editor.Record("Thumbnail width");
    Editor.Gallery().Settings.Page.Frame.Title = "Trip";
    Editor.Record("Page title");
    // An edit that changes nothing is no step.
    Editor.Edit("Sort pictures", [] {});

    const QStringList names = {"Page title",     "Thumbnail width", "Table size",     "Clear cell",
                               "Type a caption", "Move picture",    "Place pictures", "Place pictures"};
    for (const QString& name : names) {
        ASSERT_EQ(Editor.History().UndoName(), name);
        EXPECT_TRUE(Editor.Undo());
    }
    EXPECT_FALSE(Editor.Undo());
    EXPECT_EQ(Editor.Gallery().CountPictures(), 0);
    EXPECT_EQ(Shown.Shows, names.size());

    Editor.Redo(); // a.jpg
    Editor.Redo(); // b.jpg
    Editor.Redo(); // a.jpg to (2, 1)
    EXPECT_EQ(Name(2, 1), "a.jpg");
    EXPECT_TRUE(Name(0, 0).isEmpty());
    Editor.Redo();
    EXPECT_EQ(Editor.Gallery().Cell(1, 0).Caption, "Harbour");
    Editor.Redo();
    Editor.Redo();
    EXPECT_EQ(Editor.Gallery().Columns(), 4);
    EXPECT_TRUE(Name(1, 0).isEmpty());
    Editor.Redo();
    EXPECT_EQ(Editor.Gallery().Settings.Thumb.ThumbWidth, 170);
    Editor.Redo();
    EXPECT_EQ(Editor.Gallery().Settings.Page.Frame.Title, "Trip");
    EXPECT_FALSE(Editor.Redo());

    // A new edit after undo forgets what was undone.
    Editor.Undo();
    Place(0, 0, "c.jpg");
    EXPECT_FALSE(Editor.History().CanRedo());
}

TEST_F(TGalleryEditorTest, ModifiedFollowsTheSavedStateAndTheOutputFolder) {
    TTempDir dir;
    const QString file = dir.File("trip.veltrix");
    QSignalSpy changed(&Editor, &TGalleryEditor::Changed);
    // A new gallery without pictures has nothing to lose.
    Editor.Gallery().Settings.Thumb.ThumbWidth = 200;
    EXPECT_FALSE(Editor.IsModified());
    Place(0, 0, "a.jpg");
    EXPECT_TRUE(Editor.IsModified());
    EXPECT_GT(changed.count(), 0);

    Editor.Save(file, "/work/");
    EXPECT_EQ(Editor.File(), file);
    EXPECT_FALSE(Editor.IsModified());
    const TGalleryDocument written = ReadGalleryFile(file);
    ASSERT_EQ(written.Cells.size(), 1u);
    EXPECT_EQ(written.Cells[0].Cell.Source, "/pics/a.jpg");
    EXPECT_EQ(written.Settings.Thumb.ThumbWidth, 200);
    EXPECT_EQ(written.Id, "id-1");
    EXPECT_EQ(written.OutputDir, "/out/");
    Place(1, 0, "b.jpg");
    EXPECT_TRUE(Editor.IsModified());
    // Back to the state saved: nothing to save.
    Editor.Undo();
    EXPECT_FALSE(Editor.IsModified());
    Editor.SetOutputDir("/elsewhere/");
    EXPECT_TRUE(Editor.IsModified());
    Editor.SetOutputDir("/out/");
    EXPECT_FALSE(Editor.IsModified());

    // Another program writes the file: the editor notices.
    EXPECT_FALSE(Editor.ChangedOnDisk());
    {
        QFile other(file);
        ASSERT_TRUE(other.open(QIODevice::WriteOnly));
        other.write("{\"written\": \"elsewhere\"}");
    }
    EXPECT_TRUE(Editor.ChangedOnDisk());

    // Opening another gallery starts its history again.
    Editor.Started(file, TFileStamp::Of(file), "id-2", "/out2/");
    EXPECT_FALSE(Editor.History().CanUndo());
    EXPECT_FALSE(Editor.IsModified());
    EXPECT_EQ(Editor.Id(), "id-2");
}

// A change that fails half-way is still one step of what it did; Quietly makes none.
TEST_F(TGalleryEditorTest, AFailedEditKeepsItsStepAndQuietChangesMakeNone) {
    EXPECT_THROW(Editor.Edit("Place pictures",
                             [&] {
                                 Editor.Gallery().SetCell(0, 0, {"a.jpg", "/pics/a.jpg", {}, {}, {}});
                                 throw Exception(QString("disk gone"));
                             }),
                 Exception);
    EXPECT_EQ(Editor.History().UndoName(), "Place pictures");
    Editor.Quietly([&] { Editor.Gallery().ClearCell(0, 0); });
    Place(1, 1, "b.jpg");
    // Undo goes back to just before the last edit, not before the quiet change.
    Editor.Undo();
    EXPECT_TRUE(Name(0, 0).isEmpty());
    EXPECT_TRUE(Name(1, 1).isEmpty());
}

// A state holds the whole table, so a large one keeps fewer steps; a small one keeps 200 as before.
TEST(TUndoStackTest, LargeTablesKeepFewerSteps) {
    const auto kept = [](int columns, int rows) {
        const auto state = [&] {
            auto grid = std::make_shared<TGridContent>();
            grid->Gallery.SetTableSize(columns, rows);
            grid->Previews.resize(size_t(columns) * rows);
            auto made = std::make_shared<TEditState>();
            made->Grid = std::move(grid);
            return made;
        };
        TUndoStack stack;
        stack.Reset(state());
        for (int i = 0; i < 210; ++i)
            stack.Push(QString::number(i), state());
        int steps = 0;
        for (; stack.CanUndo(); ++steps)
            stack.Undo();
        return steps;
    };
    EXPECT_EQ(kept(3, 2), 200);
    EXPECT_EQ(kept(100, 100), 25);
}
