// The window's settings as values: applied from a profile or an undo step, shown by the panels, and kept in
// profiles.
#include "app/VeltrixU.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScopedValueRollback>
#include <QSpinBox>
#include <QToolButton>

#include "app/VlxApplication.h"
#include "app/VlxOptionsPanel.h"
#include "app/VlxPagePanel.h"
#include "app/VlxRenderPanel.h"
#include "gallery/GallerySettings.h"
#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/GfxHtml.h"
#include "settings/VlxProfileU.h"

// A background that cannot be loaded (a picture deleted since the profile was saved) is reported and the
// current one kept, so that the rest of the settings still apply.
void TVeltrixF::ApplyBackground(const TBackgroundSetting& background) {
    try {
        if (background.IsColor())
            SetBkgColor(background.Color);
        else
            SetBkgFile(background.File);
    } catch (...) {
        TVeltrixApp::ShowCurrentException();
    }
}

// Not settings: a run names the background in the gallery and fills the list and the neighbours itself.
void TVeltrixF::ChangeSettings(const std::function<void(TGallerySettings&)>& change) {
    TGallerySettings settings = Settings();
    change(settings);
    settings.Page.Frame.Background.clear();
    settings.Page.Frame.PrevPage.clear();
    settings.Page.Frame.NextPage.clear();
    settings.Page.Frame.OriginalFile.clear();
    settings.Page.ThumbList = nullptr;
    FEditor->SetSettings(settings);
}

void TVeltrixF::ApplySettings(const TGallerySettings& settings) {
    const TGallerySettings s = InRange(settings);
    {
        // No delayed preview while the settings change: the preview is shown once at the end.
        const QScopedValueRollback<bool> applying(FApplyingProfile, true);
        // The background as it loads, the table's size as the table takes it.
        ChangeSettings([&](TGallerySettings& kept) {
            const TBackgroundSetting background = kept.Background;
            kept = s;
            kept.Background = background;
        });
        Options->ShowProfile(s.ProfileName);
        ApplyBackground(s.Background);
        Renderer().SetSettings(s.Thumb);
        Render->Show(s.Thumb);
        TellGridPictureBox();
        // The tab shows the table's size, which follows the grid.
        TGfxPageSettings page = s.Page;
        page.Columns = Settings().Page.Columns;
        page.Rows = Settings().Page.Rows;
        Html->Show(page, s.PublishMeta);
        // The table keeps its size while it holds pictures.
        if (CountPictures() == 0)
            SetTableSize(s.Page.Columns, s.Page.Rows);
        SetThumbsStale(true);
    }
    ShowProfileName();
    ShowThumb();
    QCoreApplication::processEvents();
}

// A size out of range takes the nearer bound, as the fields do.
void TVeltrixF::SetTableSize(int cols, int rows) {
    TGallerySettings sized = Settings();
    sized.Page.Columns = cols;
    sized.Page.Rows = rows;
    sized = InRange(sized);
    cols = sized.Page.Columns;
    rows = sized.Page.Rows;
    Html->ShowTableSize(cols, rows);
    if (FGrid) {
        FGrid->SetColCount(cols);
        FGrid->SetRowCount(rows);
    } else {
        FEditor->Gallery().SetTableSize(cols, rows);
    }
    UpdateTableStatus();
}

void TVeltrixF::GatherProfile(TProfileRecord& record) const {
    record = ProfileFromSettings(Settings());
}

void TVeltrixF::ApplyProfile(const TProfileRecord& record) {
    ApplySettings(SettingsFromProfile(record));
}
