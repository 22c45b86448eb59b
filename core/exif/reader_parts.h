#pragma once
// The parts a TimgData hands work to: a decoder for the camera maker's note (tag 0x927C) and a
// reader for the IPTC datasets of the first APP13 section. The reader itself knows neither: the
// modules that implement them sit above it and give their functions here, so a reader made
// without parts reads the EXIF and TIFF directories alone (the maker note is stored as a tag
// but not walked, and an APP13 section gets no IPTC reader).
#include <memory>

namespace veltrane::exif {

class TImageInfo;
class TimgData;
class TIPTCdata;

// Walks the maker note that the directory walk has just stored in info (MakerNoteBytes,
// MakerNoteStart, with MakeText and ModelText already read). True when it recognised the maker.
// It may change info's WorkBuffer and byte order; the walk puts both back.
using MakerNoteDecoder = bool (*)(bool tiffMode, TImageInfo& info);

// An IPTC reader, freed by the module that made it.
struct IptcReaderDeleter {
    void (*Free)(TIPTCdata*) = nullptr;
    void operator()(TIPTCdata* reader) const noexcept {
        if (Free != nullptr) Free(reader);
    }
};
using IptcReaderPtr = std::unique_ptr<TIPTCdata, IptcReaderDeleter>;

// Creates the IPTC reader of owner's first APP13 section (owner.IptcSection).
using IptcReaderFactory = IptcReaderPtr (*)(TimgData& owner);

struct ReaderParts {
    MakerNoteDecoder DecodeMakerNote = nullptr;
    IptcReaderFactory NewIptcReader = nullptr;
};

}  // namespace veltrane::exif
