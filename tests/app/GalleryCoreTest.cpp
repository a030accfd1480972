// The gallery library drives what the window drives: two galleries made one after the other in one process,
// without the window, each equal to what the window writes for the same settings and pictures.
#include "AppFixture.h"
#include "GenTestSupport.h"

#include <QSpinBox>

#include "app/VlxRunCommands.h"
#include "gallery/Gallery.h"
#include "grid/GfxGrid.h"
#include "publish/GalleryRun.h"

namespace {

const QStringList kPictures{"gen/jpeg_baseline_420.jpg", "gen/bmp_24bpp.bmp", "gen/ico_32bpp_bmp.ico"};

struct TLook {
    int Columns;
    int Rows;
    TGallerySettings Settings;
};

TLook FramedLook() {
    TLook look{2, 2, StartUpSettings()};
    TGfxThumbSettings& thumb = look.Settings.Thumb;
    thumb.ThumbBevel = {4, gbRaised, 60};
    thumb.PicBevel = {2, gbLowered, 70};
    thumb.MaskStyle = gmRoundRect;
    thumb.MaskSize = 5;
    look.Settings.Page.PicInfo = 7;
    look.Settings.Page.Frame.Title = "Framed";
    return look;
}

TLook ShadowedLook() {
    TLook look{3, 1, StartUpSettings()};
    look.Settings.Thumb.ThumbWidth = 180;
    look.Settings.Thumb.ShadowSize = 6;
    look.Settings.Thumb.ShadowDistance = 4;
    look.Settings.Thumb.ShadowIntensity = 60;
    look.Settings.Background.Color = 0x00C0DCC0;
    look.Settings.Page.Frame.LinkInOrder = false;
    look.Settings.Page.Frame.FitToWindow = false;
    look.Settings.Page.TableTitle = "Shadows";
    return look;
}

} // namespace

TEST_F(TAppTest, TwoGalleriesInOneProcessEqualTheWindows) {
    QStringList files;
    for (const QString& name : kPictures)
        files << TestData(name);
    const TLook looks[] = {FramedLook(), ShadowedLook()};
    for (const TLook& look : looks) {
        TGallery gallery;
        gallery.Settings = look.Settings;
        gallery.SetTableSize(look.Columns, look.Rows);
        ASSERT_TRUE(gallery.PlaceFiles(files).empty());
        const QString dir = FFiles.File(look.Settings.Page.Frame.Title + QString::number(look.Columns) + "/");
        const TRunResult result = TGalleryRun(gallery).Run(dir);
        ASSERT_TRUE(result.Ok()) << result.Failure.toStdString();
        EXPECT_EQ(result.Written.size(), FilesIn(dir).size());
    }
    for (const TLook& look : looks) {
        W().Grid()->ClearAllCells();
        W().ApplySettings(look.Settings);
        W().Html->GfxGridColSE->setValue(look.Columns);
        W().Html->GfxGridRowSE->setValue(look.Rows);
        for (int i = 0; i < files.size(); ++i)
            Load(i % look.Columns, i / look.Columns, files[i]);
        const QString name = look.Settings.Page.Frame.Title + QString::number(look.Columns);
        W().RunCmds->GenerateInto(FFiles.File("win-" + name + "/"));
        EXPECT_EQ(FolderDifference(FFiles.File(name), FFiles.File("win-" + name)), "") << name.toStdString();
    }
}
