// Bounds-checked little-endian reads from a metafile's bytes; a read past the end yields 0.
#pragma once

#include <cstdint>
#include <cstring>

#include <QByteArray>
#include <QString>

// A window on bytes owned elsewhere (the whole file stays alive while a picture plays).
class TByteView {
public:
    TByteView() = default;
    TByteView(const char* data, std::int64_t size) : FData(data), FSize(size < 0 ? 0 : size) {}
    explicit TByteView(const QByteArray& bytes) : FData(bytes.constData()), FSize(bytes.size()) {}

    std::int64_t Size() const { return FSize; }
    const char* Data() const { return FData; }
    bool Has(std::int64_t offset, std::int64_t count) const {
        return offset >= 0 && count >= 0 && offset <= FSize && count <= FSize - offset;
    }
    // The part [offset, offset + count), or an empty view when it does not lie inside.
    TByteView Sub(std::int64_t offset, std::int64_t count) const {
        return Has(offset, count) ? TByteView(FData + offset, count) : TByteView();
    }
    TByteView From(std::int64_t offset) const {
        return Has(offset, 0) ? Sub(offset, FSize - offset) : TByteView();
    }

    std::uint8_t U8(std::int64_t at) const { return Has(at, 1) ? static_cast<std::uint8_t>(FData[at]) : 0; }
    std::uint16_t U16(std::int64_t at) const { return static_cast<std::uint16_t>(Read(at, 2)); }
    std::int16_t I16(std::int64_t at) const { return static_cast<std::int16_t>(U16(at)); }
    std::uint32_t U32(std::int64_t at) const { return static_cast<std::uint32_t>(Read(at, 4)); }
    std::int32_t I32(std::int64_t at) const { return static_cast<std::int32_t>(U32(at)); }
    // count UTF-16 code units from at; the caller has checked that they lie inside.
    QString Utf16(std::int64_t at, std::int64_t count) const {
        QString text(static_cast<qsizetype>(count), Qt::Uninitialized);
        for (std::int64_t i = 0; i < count; ++i)
            text[static_cast<qsizetype>(i)] = QChar(U16(at + 2 * i));
        return text;
    }
    float F32(std::int64_t at) const {
        const std::uint32_t bits = U32(at);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

private:
    std::uint64_t Read(std::int64_t at, int count) const {
        if (!Has(at, count))
            return 0;
        std::uint64_t value = 0;
        for (int i = count - 1; i >= 0; --i)
            value = (value << 8) | static_cast<std::uint8_t>(FData[at + i]);
        return value;
    }

    const char* FData = nullptr;
    std::int64_t FSize = 0;
};
