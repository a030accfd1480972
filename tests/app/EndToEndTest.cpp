// A gallery made as a user makes one, then opened in a real browser: every thumbnail decodes and every
// picture link reaches a page whose picture loads. Keeps a screenshot of the table page among the outputs.
#include "AppFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

#include "gfx/GfxPic.h"
#include "grid/GfxGrid.h"
#include "html/WebFiles.h"

namespace {

constexpr int kBrowserTimeoutMs = 180000;

// Loads the table page in a frame, then each picture page its thumbnails link to, where the browser resolves
// the link (a page outside the gallery is reported as such), and writes what every picture of them decoded
// to into the page, where --dump-dom finds it. Frames of the same file:// folder are readable with
// --allow-file-access-from-files.
const char* const kCheckPage = R"html(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>gallery check</title></head><body>
<pre id="result">PENDING</pre>
<iframe id="frame" width="800" height="600"></iframe>
<script>
const out = [];
const frame = document.getElementById('frame');
function load(src) {
  return new Promise(resolve => { frame.onload = () => resolve(frame.contentDocument); frame.src = src; });
}
// Spaces written %20, so that each reported line splits into its words.
function report(doc, page) {
  for (const img of doc.images)
    out.push('IMG ' + page + ' ' + img.getAttribute('src').replaceAll(' ', '%20') + ' ' +
             (img.complete ? img.naturalWidth : 0) +
             ' ' + (img.complete ? img.naturalHeight : 0));
}
(async () => {
  try {
    const index = await load('gallery/index.html');
    report(index, 'index.html');
    const gallery = new URL('gallery/', location.href).href;
    const links = Array.from(index.querySelectorAll('td a[href]'));
    out.push('LINKS ' + links.length);
    for (const link of links) {
      const href = link.getAttribute('href').replaceAll(' ', '%20');
      if (!link.href.startsWith(gallery)) {
        out.push('PAGE ' + href + ' outside');
        continue;
      }
      const page = await load(link.href);
      out.push('PAGE ' + href + ' ' + (page && page.title ? 'loaded' : 'missing'));
      if (page)
        report(page, href);
    }
    out.push('DONE');
  } catch (e) {
    out.push('ERROR ' + e);
  }
  document.getElementById('result').textContent = out.join('\n');
})();
</script></body></html>
)html";

// From the table page's first link, follows each picture page's "Next" link (at most 10 pages) and reports
// every page's picture; presses keys on the first page and reports where each led; then shows the last page
// in a frame 390 pixels wide and reports the document's widths and the picture's box, and each page whose
// picture is taller than 900 pixels in a frame of 1280 x 900 with the picture's box and the window's height
// (the pages have no document type line, and in that mode the document element's height is the whole page's).
const char* const kWalkPage = R"html(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>order check</title></head><body style="margin:0">
<pre id="result">PENDING</pre>
<iframe id="frame" width="800" height="600" style="border:0"></iframe>
<script>
const out = [];
const frame = document.getElementById('frame');
function load(src) {
  return new Promise(resolve => { frame.onload = () => resolve(frame.contentDocument); frame.src = src; });
}
function linkTo(doc, text) {
  const link = Array.from(doc.querySelectorAll('a[href]')).find(a => a.textContent === text);
  return link ? link.getAttribute('href') : '';
}
(async () => {
  try {
    const index = await load('gallery/index.html');
    let href = index.querySelector('td a[href]').getAttribute('href');
    let last = '';
    const visited = [];
    for (let i = 0; i < 10 && href; ++i) {
      visited.push(href);
      const page = await load('gallery/' + href);
      const img = page.images[0];
      out.push('VISIT ' + img.getAttribute('src') + ' ' + (img.complete ? img.naturalWidth : 0) + ' ' +
               (linkTo(page, 'Previous') ? 'prev' : 'noprev'));
      last = href;
      href = linkTo(page, 'Next');
    }
    out.push('END ' + (href ? 'more' : 'last'));
    // The keys on the first page: the page each leads to ("stayed" when none within 2 seconds).
    function press(key, ctrl) {
      return new Promise(resolve => {
        const timer = setTimeout(() => resolve('stayed'), 2000);
        frame.onload = () => {
          clearTimeout(timer);
          resolve(frame.contentWindow.location.pathname.split('/').pop());
        };
        const doc = frame.contentDocument;
        doc.dispatchEvent(new doc.defaultView.KeyboardEvent('keydown', {key, ctrlKey: ctrl, bubbles: true}));
      });
    }
    await load('gallery/' + visited[0]);
    out.push('KEYS ' + [await press('ArrowRight', true), await press('ArrowRight', false),
                        await press('ArrowLeft', false), await press('Escape', false)].join(' '));
    frame.width = 390;
    const page = await load('gallery/' + last);
    const box = page.images[0].getBoundingClientRect();
    const root = page.documentElement;
    out.push('FIT ' + root.scrollWidth + ' ' + root.clientWidth + ' ' + Math.round(box.width) + ' ' +
             Math.round(box.height));
    frame.width = 1280;
    frame.height = 900;
    for (const href of visited) {
      const page = await load('gallery/' + href);
      const img = page.images[0];
      const box = img.getBoundingClientRect();
      if (img.naturalHeight > 900)
        out.push('TALL ' + Math.round(box.top) + ' ' + Math.round(box.bottom) + ' ' +
                 page.defaultView.innerHeight);
    }
  } catch (e) {
    out.push('ERROR ' + e);
  }
  document.getElementById('result').textContent = out.join('\n');
})();
</script></body></html>
)html";

QStringList BrowserArguments(const QString& profileDir) {
    return {"--headless",
            "--no-sandbox",
            "--disable-gpu",
            "--disable-quic",
            "--no-first-run",
            "--disable-background-networking",
            "--disable-component-update",
            "--disable-sync",
            "--user-data-dir=" + profileDir};
}

// Runs the browser to its end; its standard output, or a failed assertion naming what went wrong.
QByteArray RunBrowser(const QString& browser, const QStringList& arguments) {
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(browser, arguments);
    if (!process.waitForStarted()) {
        ADD_FAILURE() << "cannot start " << browser.toStdString();
        return {};
    }
    if (!process.waitForFinished(kBrowserTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "the browser did not finish within " << kBrowserTimeoutMs << " ms";
        return {};
    }
    const QByteArray output = process.readAllStandardOutput();
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return output;
}

class TEndToEndTest : public TAppTest {
protected:
    // The files as a drop from the desktop brings them onto the top-left cell.
    void DropPictures(const QStringList& files) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& file : files)
            urls << QUrl::fromLocalFile(file);
        data.setUrls(urls);
        TGfxGrid* grid = W().Grid();
        grid->DropFiles(data, grid->visualRect(grid->model()->index(0, 0)).center());
        ProcessEvents();
    }
    static void Pick(QComboBox* list, int index) {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }
    // Rounded mask, shadow, bevels on the thumbnail and the picture, and all three information lines.
    void ChooseLook() {
        Pick(W().Render->MaskTypCB, gmRoundRect);
        W().Render->MaskSizSE->setValue(6);
        W().Render->ShadowSizSE->setValue(5);
        W().Render->ShadowDistSE->setValue(4);
        W().Render->ShadowIntSE->setValue(80);
        Pick(W().Render->ThumbBevelTypCB, gbRaised);
        W().Render->ThumbBevelSizSE->setValue(4);
        W().Render->ThumbBevelIntSE->setValue(60);
        Pick(W().Render->PicBevelTypCB, gbLowered);
        W().Render->PicBevelSizSE->setValue(3);
        W().Render->PicBevelIntSE->setValue(50);
        for (QCheckBox* box : {W().Html->PicInfNameCB, W().Html->PicInfPicSizeCB, W().Html->PicInfSizeCB})
            box->click();
    }
    // Opens the generated gallery through the check page in the browser: the lines it reports.
    QStringList BrowseGallery(const QString& browser, const char* checkPage = kCheckPage) {
        WriteBytes(FFiles.File("check.html"), checkPage);
        TTempDir profile;
        QStringList arguments = BrowserArguments(profile.Path());
        arguments << "--allow-file-access-from-files"
                  << "--virtual-time-budget=20000"
                  << "--dump-dom" << QUrl::fromLocalFile(FFiles.File("check.html")).toString();
        const QString dom = QString::fromUtf8(RunBrowser(browser, arguments));
        static const QRegularExpression resultBlock("<pre id=\"result\">(.*)</pre>",
                                                    QRegularExpression::DotMatchesEverythingOption);
        return resultBlock.match(dom).captured(1).split('\n', Qt::SkipEmptyParts);
    }
    // Every picture of the table page and of the pages it links decoded, every page loaded, and as many
    // thumbnails, links and pages as pictures.
    static void ExpectEveryPictureShown(const QStringList& lines, int pictures) {
        const std::string shown = lines.join("\n").toStdString();
        ASSERT_TRUE(lines.contains("DONE")) << shown;
        int thumbnails = 0;
        int pages = 0;
        for (const QString& line : lines) {
            const QStringList words = line.split(' ');
            if (words[0] == "IMG") {
                ASSERT_EQ(words.size(), 5) << line.toStdString();
                EXPECT_GT(words[3].toInt(), 0) << "not decoded: " << line.toStdString();
                (words[1] == "index.html" ? thumbnails : pages) += 1;
            } else if (words[0] == "PAGE") {
                EXPECT_EQ(words.value(2), "loaded") << line.toStdString();
            }
        }
        EXPECT_EQ(thumbnails, pictures) << shown;
        EXPECT_TRUE(lines.contains(QString("LINKS %1").arg(pictures))) << shown;
        EXPECT_EQ(pages, pictures) << shown;
    }
    // Generates into the folder "gallery" through the commands, as a user does.
    QString GenerateGallery() {
        const QString gallery = FFiles.File("gallery");
        D().Directories = {gallery};
        D().Answers = {TModalResult::Yes}; // create the typed folder
        W().Commands->OutputDirA->trigger();
        W().Commands->GeneratePageA->trigger();
        EXPECT_TRUE(D().Errors.isEmpty()) << D().Errors.join("\n").toStdString();
        EXPECT_TRUE(QFile::exists(gallery + "/index.html"));
        return gallery;
    }
};

} // namespace

TEST_F(TEndToEndTest, GalleryOpensInABrowserWithEveryPictureDecoded) {
    const QString browser = QStandardPaths::findExecutable("chromium");
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/test installs it): the gallery is not opened";

    const QStringList pictures{TestData("gen/jpeg_baseline_420.jpg"), TestData("gen/jpeg_progressive.jpg"),
                               TestData("gen/bmp_24bpp.bmp"), TestData("gen/ico_32bpp_bmp.ico")};
    W().Html->GfxGridColSE->setValue(3);
    W().Html->GfxGridRowSE->setValue(2);
    DropPictures(pictures);
    ASSERT_EQ(W().CountPictures(), 4);
    ChooseLook();
    const QString gallery = GenerateGallery();
    ExpectEveryPictureShown(BrowseGallery(browser), 4);

    // The rendered table page, kept for a person to look at.
    TTempDir shotProfile;
    QStringList shot = BrowserArguments(shotProfile.Path());
    shot << "--window-size=900,700"
         << "--screenshot=" VELTRIX_E2E_SCREENSHOT << QUrl::fromLocalFile(gallery + "/index.html").toString();
    QFile::remove(VELTRIX_E2E_SCREENSHOT);
    RunBrowser(browser, shot);
    EXPECT_TRUE(QFile::exists(VELTRIX_E2E_SCREENSHOT)) << VELTRIX_E2E_SCREENSHOT;
}

// Names a browser would read as an escape, an anchor, a query or a scheme, or would drop characters of, and
// a metafile, which browsers do not show: every thumbnail shows, every link reaches its page in the gallery
// and every page shows its picture.
TEST_F(TEndToEndTest, OddNamesAndAMetafileShowInABrowser) {
    const QString browser = QStandardPaths::findExecutable("chromium");
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/test installs it): the gallery is not opened";

    const QString odd = FFiles.File("odd/");
    ASSERT_TRUE(QDir().mkpath(odd));
    const QList<std::pair<QString, QString>> copies{
        {"gen/jpeg_baseline_420.jpg", "a#1.jpg"},
        {"gen/bmp_24bpp.bmp", "why?.bmp"},
        {"gen/ico_32bpp_bmp.ico", "50%41.ico"},
        {"html/seed.wmf", "chart.wmf"},
        {"gen/jpeg_baseline_420.jpg", "javascript:alert(1);x.jpg"},
        {"gen/bmp_24bpp.bmp", "http:x.bmp"},
        {"gen/jpeg_baseline_420.jpg", " lead\ttab.jpg"},
        {"gen/bmp_24bpp.bmp", "cr\rlf\n\x01\x7f.bmp"}};
    QStringList pictures;
    for (const auto& [data, name] : copies) {
        WriteBytes(odd + name, ReadBytes(TestData(data)));
        pictures << odd + name;
    }
    W().Html->GfxGridColSE->setValue(3);
    W().Html->GfxGridRowSE->setValue(3);
    DropPictures(pictures);
    ASSERT_EQ(W().CountPictures(), 8);
    GenerateGallery();
    ExpectEveryPictureShown(BrowseGallery(browser), 8);
}

// As a visitor walks a gallery: from the first picture's page "Next" leads through every picture in grid
// order, empty cells skipped, to a last page without one; the arrow keys and Escape move as the links do; on
// a phone-wide window a picture 4000 pixels wide fits without a horizontal scroll bar and keeps its
// proportions; on a 1280 x 900 window it and a portrait picture 2000 pixels high show whole, without
// scrolling.
TEST_F(TEndToEndTest, NextLinksWalkThePicturesAndABigPictureFitsAPhone) {
    const QString browser = QStandardPaths::findExecutable("chromium");
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/test installs it): the gallery is not opened";

    const QString big = FFiles.File("big.jpg");
    QImage picture(4000, 3000, QImage::Format_RGB32);
    picture.fill(QColor(40, 120, 200));
    ASSERT_TRUE(picture.save(big, "JPG", 75));
    const QString tall = FFiles.File("tall.jpg");
    ASSERT_TRUE(picture.scaled(1500, 2000).save(tall, "JPG", 75));
    W().Html->GfxGridColSE->setValue(3);
    W().Html->GfxGridRowSE->setValue(2);
    Load(0, 0, TestData("gen/jpeg_baseline_420.jpg"));
    Load(2, 0, TestData("gen/bmp_24bpp.bmp"));
    Load(0, 1, tall);
    Load(1, 1, big);
    ASSERT_TRUE(W().Html->PgLinkOrderCB->isChecked() && W().Html->HtmlFitWindowCB->isChecked());
    GenerateGallery();
    const QStringList lines = BrowseGallery(browser, kWalkPage);
    const std::string shown = lines.join("\n").toStdString();

    QStringList visits;
    for (const QString& line : lines) {
        const QStringList words = line.split(' ');
        if (words[0] == "VISIT") {
            EXPECT_GT(words.value(2).toInt(), 0) << "not decoded: " << line.toStdString();
            visits << words.value(1) + ' ' + words.value(3);
        }
    }
    const auto cell = [this](int col, int row) { return W().Grid()->Cells(col, row); };
    // The big picture's page shows it web-sized (2048 pixels wide), as a new gallery publishes it.
    EXPECT_EQ(visits, (QStringList{cell(0, 0) + " noprev", cell(2, 0) + " prev", cell(0, 1) + " prev",
                                   WebPictureName(cell(1, 1)) + " prev"}))
        << shown;
    EXPECT_TRUE(lines.contains("VISIT " + WebPictureName(cell(1, 1)) + " 2048 prev")) << shown;
    EXPECT_TRUE(lines.contains("END last")) << shown;
    // Ctrl+Right is left to the browser; Right, Left and Escape go to the next, previous and table page.
    EXPECT_TRUE(
        lines.contains("KEYS stayed " + PageName(cell(2, 0)) + ' ' + PageName(cell(0, 0)) + " index.html"))
        << shown;
    const QString fit = lines.filter(QRegularExpression("^FIT ")).value(0);
    const QStringList sizes = fit.split(' ');
    ASSERT_EQ(sizes.size(), 5) << shown;
    const int scrollWidth = sizes[1].toInt(), clientWidth = sizes[2].toInt();
    const int width = sizes[3].toInt(), height = sizes[4].toInt();
    EXPECT_LE(scrollWidth, clientWidth) << shown;
    EXPECT_LE(clientWidth, 390) << shown;
    EXPECT_GT(width, 300) << shown;
    EXPECT_LE(width, clientWidth) << shown;
    EXPECT_NEAR(height, width * 3 / 4, 2) << shown;
    // The portrait picture and the big one, shrunk to the window's height, not beyond.
    const QStringList tallLines = lines.filter(QRegularExpression("^TALL "));
    EXPECT_EQ(tallLines.size(), 2) << shown;
    for (const QString& line : tallLines) {
        const QStringList box = line.split(' ');
        ASSERT_EQ(box.size(), 4) << shown;
        EXPECT_GE(box[1].toInt(), 0) << shown;
        EXPECT_LE(box[2].toInt(), box[3].toInt()) << shown;
        EXPECT_GE(box[2].toInt(), box[3].toInt() - 20) << shown;
    }
}

// A phone photo whose EXIF says "turn 90 degrees" and a HEIC photo: both pages show them upright, the
// photo's page at its upright size, the HEIC one by its rendering.
TEST_F(TEndToEndTest, PhonePhotosShowUprightInABrowser) {
    const QString browser = QStandardPaths::findExecutable("chromium");
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/test installs it): the gallery is not opened";

    W().Html->GfxGridColSE->setValue(2);
    W().Html->GfxGridRowSE->setValue(1);
    DropPictures({TestData("gfx/valid/orient_420_6.jpg"), TestData("gfx/valid/kind_photo.heic")});
    ASSERT_EQ(W().CountPictures(), 2);
    const QString gallery = GenerateGallery();
    const QStringList lines = BrowseGallery(browser);
    ExpectEveryPictureShown(lines, 2);
    const QString photo = W().Grid()->Cells(0, 0);
    const QString heic = W().Grid()->Cells(1, 0);
    const QString photoPage = QString::fromUtf8(ReadBytes(gallery + "/" + PageName(photo)));
    EXPECT_TRUE(photoPage.contains("HEIGHT=257 WIDTH=161")) << photoPage.toStdString();
    // The stored photo is 257 x 161: upright it is taller than wide.
    const std::string shown = lines.join('\n').toStdString();
    EXPECT_TRUE(lines.contains(QString("IMG %1 %2 161 257").arg(PageName(photo), photo))) << shown;
    EXPECT_TRUE(lines.contains(QString("IMG %1 %2.png 64 40").arg(PageName(heic), heic))) << shown;
}

// Captions as a visitor meets them: read from a picture's title, typed for another; the browser shows them as
// the text typed, markup characters included, and gives them as the pictures' text alternatives.
const char* const kCaptionPage = R"html(<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>caption check</title></head><body>
<pre id="result">PENDING</pre>
<iframe id="frame" width="800" height="600"></iframe>
<script>
const out = [];
const frame = document.getElementById('frame');
function load(src) {
  return new Promise(resolve => { frame.onload = () => resolve(frame.contentDocument); frame.src = src; });
}
(async () => {
  const index = await load('gallery/index.html');
  const links = Array.from(index.querySelectorAll('td a[href]')).map(a => a.getAttribute('href'));
  for (const img of index.images)
    out.push('THUMB ALT ' + img.alt);
  for (const href of links) {
    const page = await load('gallery/' + href);
    out.push('ALT ' + page.images[0].alt);
    out.push('SHOWN ' + page.querySelector('td div').textContent);
    out.push('ELEMENTS ' + page.querySelectorAll('td *').length);
  }
  out.push('DONE');
  document.getElementById('result').textContent = out.join('\n');
})();
</script></body></html>
)html";

TEST_F(TEndToEndTest, CaptionsShowAsTypedInABrowser) {
    const QString browser = QStandardPaths::findExecutable("chromium");
    if (browser.isEmpty())
        GTEST_SKIP() << "chromium is not installed (scripts/test installs it): the gallery is not opened";

    W().Html->GfxGridColSE->setValue(2);
    W().Html->GfxGridRowSE->setValue(1);
    DropPictures({TestData("gfx/caption/png_title_utf8_markup.png"), TestData("gen/jpeg_baseline_420.jpg")});
    ASSERT_EQ(W().CountPictures(), 2);
    W().Grid()->SetCurrentCell(1, 0);
    QTest::keyClicks(W().Preview->CaptionE, "<b>Not bold</b> & \"quoted\"");
    GenerateGallery();
    // The result block comes back as the DOM dump writes text: with <, > and & escaped.
    QStringList lines = BrowseGallery(browser, kCaptionPage);
    for (QString& line : lines)
        line.replace("&lt;", "<").replace("&gt;", ">").replace("&amp;", "&");
    const std::string shown = lines.join('\n').toStdString();
    ASSERT_TRUE(lines.contains("DONE")) << shown;
    const QString title = QString::fromUtf8("Kai <&> \"Ōtautahi\" at dusk");
    const QString typed = "<b>Not bold</b> & \"quoted\"";
    for (const QString& caption : {title, typed}) {
        EXPECT_TRUE(lines.contains("THUMB ALT " + caption)) << shown;
        EXPECT_TRUE(lines.contains("ALT " + caption)) << shown;
        EXPECT_TRUE(lines.contains("SHOWN " + caption)) << shown;
    }
    EXPECT_EQ(lines.count("ELEMENTS 2"), 2) << shown; // the picture and its caption's division: no <b>
}
