// Settings as values: the start-up settings, ranges applied in one place, and the profile record's form,
// each a visit of the one list of settings.
#include "gallery/GallerySettings.h"

#include <cassert>
#include <optional>

#include <QColor>

#include "gallery/GallerySettingsList.h"

namespace {

// Standard colours keep their names as file names; others are named by their value.
struct TColorName {
    TColor Value;
    const char* Name;
};
const TColorName kColorNames[] = {
    {0x000000, "clBlack"},      {0x000080, "clMaroon"},  {0x008000, "clGreen"}, {0x008080, "clOlive"},
    {0x800000, "clNavy"},       {0x800080, "clPurple"},  {0x808000, "clTeal"},  {0x808080, "clGray"},
    {0xC0C0C0, "clSilver"},     {0x0000FF, "clRed"},     {0x00FF00, "clLime"},  {0x00FFFF, "clYellow"},
    {0xFF0000, "clBlue"},       {0xFF00FF, "clFuchsia"}, {0xFFFF00, "clAqua"},  {0xFFFFFF, "clWhite"},
    {0xC0DCC0, "clMoneyGreen"}, {0xF0CAA6, "clSkyBlue"}, {0xF0FBFF, "clCream"}, {0xA4A0A0, "clMedGray"},
};

// Each setting's default, as the list declares it.
struct TStartUp {
    template <typename F, typename R> void operator()(F& f, TNumberField k, TFileKey, R&) {
        f = static_cast<F>(k.Range.Default);
    }
    template <typename F, typename R> void operator()(F& f, TListField k, TFileKey, R&) {
        f = static_cast<F>(k.Range.Default);
    }
    template <typename F, typename R> void operator()(F& f, TBitsField k, TFileKey, R&) {
        f = static_cast<F>(k.Default);
    }
    template <typename R> void operator()(TColor& f, TColorField k, TFileKey, R&) { f = k.Default; }
    template <typename R> void operator()(bool& f, TFlagField k, TFileKey, R&) { f = k.Default; }
    template <typename R> void operator()(QString& f, TTextField k, TFileKey, R&) {
        f = QString::fromUtf8(k.Default);
    }
};

struct TInRange {
    template <typename F, typename R> void operator()(F& f, TNumberField k, TFileKey, R&) {
        f = static_cast<F>(k.Range.Clamp(f));
    }
    template <typename F, typename R> void operator()(F& f, TListField k, TFileKey, R&) {
        if (!k.Range.Contains(f))
            f = static_cast<F>(k.Unknown == TUnknownItem::First ? k.Range.Min : k.Range.Default);
    }
    template <typename F, typename R> void operator()(F& f, TBitsField k, TFileKey, R&) {
        f = static_cast<F>(f & k.Mask);
    }
    // Texts, colours and flags have no range.
    template <typename F, typename K, typename R> void operator()(F&, K, TFileKey, R&) {}
};

struct TFromProfile {
    template <typename F, typename K, typename R> void operator()(F& f, K, TFileKey, const R& stored) {
        f = static_cast<F>(stored);
    }
};

// Texts are cut to their fields, so the record in memory equals what a later read returns.
struct TToProfile {
    template <typename F, typename K, typename R> void operator()(const F& f, K, TFileKey, R& stored) {
        stored = static_cast<R>(f);
    }
    void operator()(const QString& f, TTextField k, TFileKey, QString& stored) {
        stored = CutToField(f, k.StoredSize);
    }
};

struct TRangeOf {
    TSetting Wanted;
    std::optional<TSettingRange> Found;

    template <typename F, typename R> void operator()(F&, TNumberField k, TFileKey, R&) {
        if (k.Id == Wanted)
            Found = k.Range;
    }
    template <typename F, typename K, typename R> void operator()(F&, K, TFileKey, R&) {}
};

} // namespace

TSettingRange SettingRange(TSetting setting) {
    TGallerySettings settings;
    TProfileRecord record;
    TRangeOf range{setting};
    VisitSettings(range, settings, record);
    assert(range.Found);
    return range.Found.value();
}

TGallerySettings StartUpSettings() {
    TGallerySettings settings;
    TProfileRecord unused;
    TStartUp startUp;
    VisitSettings(startUp, settings, unused);
    return settings;
}

TGallerySettings InRange(TGallerySettings settings) {
    TProfileRecord unused;
    TInRange inRange;
    VisitSettings(inRange, settings, unused);
    return settings;
}

TGallerySettings SettingsFromProfile(const TProfileRecord& record) {
    TGallerySettings settings;
    TFromProfile fromProfile;
    VisitSettings(fromProfile, settings, record);
    return InRange(settings);
}

TProfileRecord ProfileFromSettings(const TGallerySettings& settings) {
    TProfileRecord record;
    TToProfile toProfile;
    VisitSettings(toProfile, settings, record);
    return record;
}

QString ColorTileName(TColor color) {
    for (const TColorName& known : kColorNames)
        if (known.Value == color)
            return QString(known.Name).toLower() + ".jpg";
    return QString::asprintf("%08X", quint32(color)).toLower() + ".jpg";
}
