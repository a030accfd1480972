// Blanking metadata where it stands: the GPS directory of an EXIF (TIFF) structure and the location
// properties of an XMP packet are overwritten in place, so no other byte or offset of the file moves.
// Every read is checked against the block's bounds; a structure that cannot be followed safely raises
// EMetaStructure, never reads past the block and never loops (each directory is visited once).
#pragma once

#include <stdexcept>
#include <vector>

#include <QByteArray>

// Why a picture's metadata could not be followed; the caller names the file.
class EMetaStructure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A writable view of a block inside a picture's bytes.
struct TMetaBlock {
    char* Data;
    qsizetype Size;
};

// Empties every GPS directory a TIFF structure points to (in its directories' chain and their EXIF
// directories): the entries and the values they point to become zeros and the directory's count 0.
// True when anything changed.
bool BlankTiffGps(TMetaBlock tiff);

// The JPEG thumbnails the directories of a TIFF structure hold (JPEGInterchangeFormat and its length), each
// cut to the block; one that starts outside the block is read by no one and not given.
std::vector<TMetaBlock> TiffThumbnails(TMetaBlock tiff);

// Rewrites a TIFF structure in place as a header and one directory with only the orientation entry (none
// when it had none), zeros after it. For blocks whose size must not change (a HEIC's EXIF item).
// True when anything changed.
bool KeepTiffOrientationOnly(TMetaBlock tiff);

// Overwrites with spaces every location property of an XMP packet: GPS* elements and attributes, the IPTC
// location structures and photoshop:City/State/Country. True when anything changed.
bool BlankXmpLocation(TMetaBlock xmp);

// Zeros the values of the location datasets of an IPTC-IIM block (city, sub-location, province or state,
// country code and name, location code and name). True when anything changed.
bool BlankIptcLocation(TMetaBlock iim);
// Whether an IPTC-IIM dataset is one of those: record 2, datasets 26, 27, 90, 92, 95, 100, 101.
bool IsIptcLocation(int record, int dataset);

// Overwrites an XMP packet with an empty one padded with spaces (spaces alone when it is too short).
bool EmptyXmp(TMetaBlock xmp);

// Whether a name is one BlankXmpLocation removes: local name GPS*, Location, LocationCreated, LocationShown,
// CountryCode; City, State or Country of photoshop.
bool IsXmpLocationName(const QByteArray& qualifiedName);
