// JPEG decoding and encoding through libjpeg's C API, with errors turned into EGfxException.
#include "gfx/GfxJpeg.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
// After jpeglib.h: the message codes, to tell harmless warnings from damaged data.
#include <jerror.h>

#include "gfx/GfxDecodeCount.h"
#include "gfx/GfxError.h"
#include "gfx/GfxExif.h"
#include "gfx/GfxJpegWalk.h"
#include "gfx/GfxSampling.h"

// libjpeg reports errors through error_exit, which must not return. We leave it with longjmp back into the
// function that called libjpeg: each such function sets its jump point and keeps only plain data alive
// across the libjpeg calls, so nothing with a destructor is skipped. The decompress or compress object is
// destroyed afterwards by its owner, which frees everything libjpeg allocated.

namespace {

struct TJpegErrorMgr {
    jpeg_error_mgr Pub; // first: libjpeg sees only this part
    std::jmp_buf Jump;
    char Message[JMSG_LENGTH_MAX];
    jpeg_progress_mgr Progress; // counts the scans of a decompression
};

[[noreturn]] void JpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
    // libjpeg's own text would show the first bytes in hexadecimal.
    if (cinfo->err->msg_code == JERR_NO_SOI)
        std::snprintf(err->Message, sizeof err->Message, "the file is not a readable JPEG picture");
    else
        (*cinfo->err->format_message)(cinfo, err->Message);
    std::longjmp(err->Jump, 1);
}

// The walk over the markers refuses a file with too many scans before decoding; this stays for data that
// reach the decoder some other way.
void CheckScanCount(j_common_ptr common) {
    if (!common->is_decompressor)
        return;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    if (cinfo->input_scan_number <= kMaxJpegScans)
        return;
    auto* err = reinterpret_cast<TJpegErrorMgr*>(cinfo->err);
    std::snprintf(err->Message, sizeof err->Message, "it has more than %d scans, too many to decode",
                  kMaxJpegScans);
    std::longjmp(err->Jump, 1);
}

// Warnings that say nothing about the pixels.
bool IsHarmlessWarning(int code) {
    return code == JWRN_EXTRANEOUS_DATA || code == JWRN_ADOBE_XFORM || code == JWRN_JFIF_MAJOR ||
           code == JWRN_BOGUS_ICC;
}

// A file whose data ends without the closing EOI marker warns "Premature end of JPEG file" as the entropy
// decoder reads ahead in the last row of blocks, although every bit of the picture is there. Accepted only
// for a single scan holding all components, in its last row of blocks; a truncated scan also reports
// JWRN_HIT_MARKER (bits actually missing), which stays an error.
bool IsHarmlessEndOfData(j_common_ptr common) {
    if (!common->is_decompressor)
        return false;
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    // The arithmetic decoder reads zeros after the end of its data without a word: for it the end of data
    // the source had to make up is always a truncation.
    return !cinfo->progressive_mode && !cinfo->arith_code && cinfo->input_scan_number == 1 &&
           cinfo->comps_in_scan == cinfo->num_components && cinfo->total_iMCU_rows > 0 &&
           cinfo->input_iMCU_row + 1 >= cinfo->total_iMCU_rows;
}

// libjpeg only warns about a truncated or corrupt scan and fills the rest with grey: such a warning ends
// the decoding as an error.
void JpegEmitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return; // trace messages
    cinfo->err->num_warnings++;
    const int code = cinfo->err->msg_code;
    if (IsHarmlessWarning(code) || (code == JWRN_JPEG_EOF && IsHarmlessEndOfData(cinfo)))
        return;
    JpegErrorExit(cinfo);
}

void InstallErrorMgr(TJpegErrorMgr& err) {
    jpeg_std_error(&err.Pub);
    err.Pub.error_exit = JpegErrorExit;
    err.Pub.emit_message = JpegEmitMessage;
    err.Message[0] = '\0';
}

// Adobe convention, which is what CMYK JPEG writers use: stored values are inverted (255 = no ink), and
// libjpeg hands them over as stored, YCCK already turned into CMYK.
inline void CmykToBgr(const JSAMPLE* cmyk, uchar* bgr) {
    const int k = cmyk[3];
    bgr[0] = static_cast<uchar>((cmyk[2] * k + 127) / 255);
    bgr[1] = static_cast<uchar>((cmyk[1] * k + 127) / 255);
    bgr[2] = static_cast<uchar>((cmyk[0] * k + 127) / 255);
}

void CmykRowToBgr(const JSAMPLE* cmyk, uchar* bgr, int width) {
    for (int x = 0; x < width; ++x, cmyk += 4, bgr += 3)
        CmykToBgr(cmyk, bgr);
}

} // namespace

struct TJpegReader::TState {
    jpeg_decompress_struct Cinfo{};
    TJpegErrorMgr Err{};
    QByteArray Data;
    bool Created = false;
    bool HeaderRead = false;
    bool Cmyk = false;
    bool Scaled = false;

    ~TState() {
        if (Created)
            jpeg_destroy_decompress(&Cinfo);
    }
};

namespace {

bool ReadHeaderGuarded(jpeg_decompress_struct& cinfo, TJpegErrorMgr& err, const QByteArray& data,
                       bool& created) {
    if (setjmp(err.Jump))
        return false;
    cinfo.err = &err.Pub;
    jpeg_create_decompress(&cinfo);
    created = true;
    err.Progress.progress_monitor = CheckScanCount;
    cinfo.progress = &err.Progress;
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&cinfo, TRUE);
    return true;
}

// Decodes straight into the bitmap's rows, or through cmykRow for four-component files.
bool ReadPixelsGuarded(jpeg_decompress_struct& cinfo, TJpegErrorMgr& err, const QImage& dest, uchar* bits,
                       JSAMPLE* cmykRow) {
    if (setjmp(err.Jump))
        return false;
    jpeg_start_decompress(&cinfo);
    // Never rows beyond the bitmap, whatever size libjpeg settled on.
    if (cinfo.output_width != JDIMENSION(dest.width()) || cinfo.output_height != JDIMENSION(dest.height()))
        ERREXIT(&cinfo, JERR_BAD_STATE);
    const qsizetype bytesPerLine = dest.bytesPerLine();
    while (cinfo.output_scanline < cinfo.output_height) {
        uchar* dest = bits + bytesPerLine * cinfo.output_scanline;
        JSAMPROW row = cmykRow != nullptr ? cmykRow : dest;
        if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
            ERREXIT(&cinfo, JERR_INPUT_EMPTY); // the memory source never suspends; be safe anyway
        if (cmykRow != nullptr)
            CmykRowToBgr(cmykRow, dest, static_cast<int>(cinfo.output_width));
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

// What a sampled decode writes: the destination bitmap, for each of its columns the source column and for
// each of its rows the source row (never decreasing).
struct TStretch {
    uchar* Bits;
    qsizetype BytesPerLine;
    int Width;
    int Height;
    const int* Columns;
    const int* Rows;
};

// Moves the output to source row y: skipping rows decodes their data but makes no pixels of them.
void SkipTo(jpeg_decompress_struct& cinfo, JDIMENSION y) {
    while (cinfo.output_scanline < y)
        if (jpeg_skip_scanlines(&cinfo, y - cinfo.output_scanline) == 0)
            ERREXIT(&cinfo, JERR_INPUT_EMPTY);
}

void ReadRow(jpeg_decompress_struct& cinfo, JSAMPLE* row) {
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1)
        ERREXIT(&cinfo, JERR_INPUT_EMPTY);
}

void SampleRow(const JSAMPLE* row, const TStretch& to, uchar* dest, bool cmyk) {
    if (cmyk) {
        for (int x = 0; x < to.Width; ++x, dest += 3)
            CmykToBgr(row + 4 * to.Columns[x], dest);
        return;
    }
    for (int x = 0; x < to.Width; ++x, dest += 3) {
        const JSAMPLE* p = row + 3 * to.Columns[x];
        dest[0] = p[0];
        dest[1] = p[1];
        dest[2] = p[2];
    }
}

// The default (fancy) upsampling is kept although it costs context rows when skipping: it gives the pixels
// of a full decode, and libjpeg's other, merged upsampler skips 4:2:0 rows wrongly.
bool ReadStretchedGuarded(jpeg_decompress_struct& cinfo, TJpegErrorMgr& err, const TStretch& to, JSAMPLE* row,
                          bool cmyk) {
    if (setjmp(err.Jump))
        return false;
    jpeg_start_decompress(&cinfo);
    int lastRow = -1;
    for (int y = 0; y < to.Height; ++y) {
        uchar* dest = to.Bits + to.BytesPerLine * y;
        const int sy = to.Rows[y];
        if (sy == lastRow) { // an enlarged row repeats the one above
            std::memcpy(dest, dest - to.BytesPerLine, static_cast<size_t>(to.Width) * 3);
            continue;
        }
        SkipTo(cinfo, static_cast<JDIMENSION>(sy));
        ReadRow(cinfo, row);
        SampleRow(row, to, dest, cmyk);
        lastRow = sy;
    }
    // libjpeg skips to the very end without reading the data there: read the last row instead, so that a
    // file damaged below the last sampled row fails as it does when fully decoded.
    if (cinfo.output_scanline < cinfo.output_height) {
        SkipTo(cinfo, cinfo.output_height - 1);
        ReadRow(cinfo, row);
    }
    jpeg_finish_decompress(&cinfo);
    return true;
}

} // namespace

TJpegReader::TJpegReader(const QString& fileName, const QByteArray& data)
    : FFileName(fileName), FState(std::make_unique<TState>()) {
    FState->Data = data;
}

TJpegReader::~TJpegReader() = default;

void TJpegReader::Fail() const {
    throw EGfxException(LoadError(FFileName, QString::fromLocal8Bit(FState->Err.Message)));
}

void TJpegReader::ReadHeader() {
    TState& s = *FState;
    InstallErrorMgr(s.Err);
    if (!ReadHeaderGuarded(s.Cinfo, s.Err, s.Data, s.Created))
        Fail();
    CheckPictureSize(FFileName, s.Cinfo.image_width, s.Cinfo.image_height);
    s.Cmyk = s.Cinfo.jpeg_color_space == JCS_CMYK || s.Cinfo.jpeg_color_space == JCS_YCCK;
    // libjpeg-turbo writes blue-green-red itself, grey included; CMYK it cannot turn into RGB.
    s.Cinfo.out_color_space = s.Cmyk ? JCS_CMYK : JCS_EXT_BGR;
    s.HeaderRead = true;
}

int TJpegReader::Width() const {
    return static_cast<int>(FState->Cinfo.image_width);
}

int TJpegReader::Height() const {
    return static_cast<int>(FState->Cinfo.image_height);
}

bool TJpegReader::SkipsExactly() const {
    const jpeg_decompress_struct& c = FState->Cinfo;
    int maxH = 1;
    int maxV = 1;
    for (int i = 0; i < c.num_components; ++i) {
        maxH = std::max(maxH, c.comp_info[i].h_samp_factor);
        maxV = std::max(maxV, c.comp_info[i].v_samp_factor);
    }
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info& comp = c.comp_info[i];
        if (comp.h_samp_factor <= 0 || comp.v_samp_factor <= 0)
            return false;
        const int h = maxH / comp.h_samp_factor;
        const int v = maxV / comp.v_samp_factor;
        if (v != 1 && !(v == 2 && (h == 1 || h == 2)))
            return false;
    }
    return true;
}

void TJpegReader::SetScale(int eighths) {
    TState& s = *FState;
    Q_ASSERT(s.HeaderRead && eighths >= 1 && eighths <= 8);
    s.Cinfo.scale_num = static_cast<unsigned>(eighths);
    s.Cinfo.scale_denom = 8;
    // libjpeg's own sizes, so that the bitmap is the size it writes; right after the header this never fails.
    jpeg_calc_output_dimensions(&s.Cinfo);
    s.Scaled = true;
}

int TJpegReader::OutputWidth() const {
    return FState->Scaled ? static_cast<int>(FState->Cinfo.output_width) : Width();
}

int TJpegReader::OutputHeight() const {
    return FState->Scaled ? static_cast<int>(FState->Cinfo.output_height) : Height();
}

void TJpegReader::ReadPixels(QImage& dest) {
    TState& s = *FState;
    Q_ASSERT(s.HeaderRead && dest.format() == QImage::Format_BGR888 && dest.width() == OutputWidth() &&
             dest.height() == OutputHeight());
    CountPictureDecode();
    std::vector<JSAMPLE> cmykRow(s.Cmyk ? static_cast<size_t>(OutputWidth()) * 4 : 0);
    if (!ReadPixelsGuarded(s.Cinfo, s.Err, dest, dest.bits(), s.Cmyk ? cmykRow.data() : nullptr))
        Fail();
}

void TJpegReader::ReadStretched(QImage& dest) {
    std::vector<int> columns(static_cast<size_t>(dest.width()));
    for (int x = 0; x < dest.width(); ++x)
        columns[static_cast<size_t>(x)] = NearestSourceIndex(x, dest.width(), Width());
    std::vector<int> rows(static_cast<size_t>(dest.height()));
    for (int y = 0; y < dest.height(); ++y)
        rows[static_cast<size_t>(y)] = NearestSourceIndex(y, dest.height(), Height());
    ReadSampled(dest, rows, columns);
}

void TJpegReader::ReadSampled(QImage& dest, const std::vector<int>& rows, const std::vector<int>& columns) {
    TState& s = *FState;
    Q_ASSERT(s.HeaderRead && dest.format() == QImage::Format_BGR888 && !dest.isNull() &&
             rows.size() == size_t(dest.height()) && columns.size() == size_t(dest.width()));
    CountPictureDecode();
    std::vector<JSAMPLE> row(static_cast<size_t>(Width()) * (s.Cmyk ? 4 : 3));
    const TStretch to{dest.bits(),   dest.bytesPerLine(), dest.width(),
                      dest.height(), columns.data(),      rows.data()};
    if (!ReadStretchedGuarded(s.Cinfo, s.Err, to, row.data(), s.Cmyk))
        Fail();
}

// ---- Encoding ----

namespace {

// Collects the encoded bytes in a malloc'd buffer that grows by doubling; freed by TJpegWriter.
struct TMemoryDest {
    jpeg_destination_mgr Pub; // first: libjpeg sees only this part
    JOCTET* Buffer;
    size_t Capacity;
    size_t Size;
};

constexpr size_t kInitialJpegBuffer = 64 * 1024;

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    dest->Buffer = static_cast<JOCTET*>(std::malloc(kInitialJpegBuffer));
    if (dest->Buffer == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 0);
    dest->Capacity = kInitialJpegBuffer;
    dest->Pub.next_output_byte = dest->Buffer;
    dest->Pub.free_in_buffer = dest->Capacity;
}

// Called when the whole buffer is full.
boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    const size_t grown = dest->Capacity * 2;
    auto* buffer = static_cast<JOCTET*>(std::realloc(dest->Buffer, grown));
    if (buffer == nullptr)
        ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 1);
    dest->Buffer = buffer;
    dest->Pub.next_output_byte = buffer + dest->Capacity;
    dest->Pub.free_in_buffer = grown - dest->Capacity;
    dest->Capacity = grown;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<TMemoryDest*>(cinfo->dest);
    dest->Size = dest->Capacity - dest->Pub.free_in_buffer;
}

struct TJpegWriter {
    jpeg_compress_struct Cinfo{};
    TJpegErrorMgr Err{};
    TMemoryDest Dest{};
    bool Created = false;

    ~TJpegWriter() {
        if (Created)
            jpeg_destroy_compress(&Cinfo);
        std::free(Dest.Buffer);
    }
};

bool EncodeGuarded(TJpegWriter& w, const uchar* bits, qsizetype bytesPerLine, int width, int height,
                   int quality) {
    if (setjmp(w.Err.Jump))
        return false;
    w.Cinfo.err = &w.Err.Pub;
    jpeg_create_compress(&w.Cinfo);
    w.Created = true;
    w.Dest.Pub.init_destination = InitDestination;
    w.Dest.Pub.empty_output_buffer = EmptyOutputBuffer;
    w.Dest.Pub.term_destination = TermDestination;
    w.Cinfo.dest = &w.Dest.Pub;
    w.Cinfo.image_width = static_cast<JDIMENSION>(width);
    w.Cinfo.image_height = static_cast<JDIMENSION>(height);
    w.Cinfo.input_components = 3;
    w.Cinfo.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&w.Cinfo); // colour (YCbCr), baseline Huffman coding
    jpeg_set_quality(&w.Cinfo, quality, TRUE);
    jpeg_start_compress(&w.Cinfo, TRUE);
    while (w.Cinfo.next_scanline < w.Cinfo.image_height) {
        // libjpeg's row type is not const, but compression only reads the rows.
        JSAMPROW row = const_cast<uchar*>(bits + bytesPerLine * w.Cinfo.next_scanline);
        jpeg_write_scanlines(&w.Cinfo, &row, 1);
    }
    jpeg_finish_compress(&w.Cinfo);
    return true;
}

} // namespace

QByteArray EncodeJpeg(const QImage& picture, int quality, const QString& fileName) {
    Q_ASSERT(picture.format() == QImage::Format_BGR888);
    if (picture.isNull())
        throw EGfxException(QStringLiteral("Cannot save %1: the picture is empty").arg(fileName));
    TJpegWriter writer;
    InstallErrorMgr(writer.Err);
    if (!EncodeGuarded(writer, picture.constBits(), picture.bytesPerLine(), picture.width(), picture.height(),
                       quality))
        throw EGfxException(
            QStringLiteral("Cannot save %1: %2").arg(fileName, QString::fromLocal8Bit(writer.Err.Message)));
    return QByteArray(reinterpret_cast<const char*>(writer.Dest.Buffer),
                      static_cast<qsizetype>(writer.Dest.Size));
}
