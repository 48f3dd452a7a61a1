#include "support/CabinetWriter.h"

#include <zlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {

constexpr size_t kBlockSize = 32768;
constexpr uint16_t kHasPrevious = 0x0001;
constexpr uint16_t kHasNext = 0x0002;

void PutWord(std::string& out, uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void PutDword(std::string& out, uint32_t value) {
    PutWord(out, static_cast<uint16_t>(value & 0xFFFF));
    PutWord(out, static_cast<uint16_t>(value >> 16));
}

void SetDword(std::string& out, size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// The cabinet checksum: 32-bit little-endian words XORed, the 1 to 3 bytes left over taken
// most significant first.
uint32_t Checksum(const unsigned char* data, size_t size, uint32_t seed) {
    uint32_t sum = seed;
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        sum ^= static_cast<uint32_t>(data[i]) | (static_cast<uint32_t>(data[i + 1]) << 8) |
               (static_cast<uint32_t>(data[i + 2]) << 16) | (static_cast<uint32_t>(data[i + 3]) << 24);
    }
    uint32_t rest = 0;
    for (; i < size; ++i) rest = (rest << 8) | data[i];
    return sum ^ rest;
}

uint32_t BlockChecksum(const std::string& payload, uint16_t compressedSize, uint16_t uncompressedSize) {
    std::string sizes;
    PutWord(sizes, compressedSize);
    PutWord(sizes, uncompressedSize);
    const uint32_t dataSum = Checksum(reinterpret_cast<const unsigned char*>(payload.data()), payload.size(), 0);
    return Checksum(reinterpret_cast<const unsigned char*>(sizes.data()), sizes.size(), dataSum);
}

// One MSZIP block: "CK" and a complete raw deflate stream of the block.
std::string DeflateBlock(const std::string& block) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    std::string out = "CK";
    out.resize(2 + deflateBound(&stream, block.size()));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(block.data()));
    stream.avail_in = static_cast<uInt>(block.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data() + 2);
    stream.avail_out = static_cast<uInt>(out.size() - 2);
    deflate(&stream, Z_FINISH);
    out.resize(2 + stream.total_out);
    deflateEnd(&stream);
    return out;
}

struct Piece {  // a data block, or the part of a split block that one cabinet holds
    std::string payload;
    uint16_t uncompressedSize;  // 0 for every piece but a block's last
};

struct FolderPart {  // what one cabinet holds of a folder
    size_t folder;
    std::vector<Piece> pieces;
};

struct FileSpan {  // a file and the cabinets its data lies in
    size_t file;
    size_t folder;
    uint32_t offset;
    size_t firstCabinet = 0;
    size_t lastCabinet = 0;
};

struct BlockPlace {  // where a block's uncompressed bytes are, and the cabinets holding it
    uint32_t start;
    uint32_t size;
    size_t firstCabinet;
    size_t lastCabinet;
};

class SetBuilder {
public:
    SetBuilder(const std::vector<StoredFile>& files, const CabinetOptions& options)
        : files(files), options(options) {}

    std::vector<std::string> Build() {
        cabinets.emplace_back();
        OpenFolder();
        for (size_t i = 0; i < files.size(); ++i) AddFile(i);
        CloseFolder();
        for (FileSpan& span : spans) PlaceFile(span);
        std::vector<std::string> out;
        for (size_t c = 0; c < cabinets.size(); ++c) out.push_back(Serialise(c));
        return out;
    }

private:
    void OpenFolder() {
        ++folderCount;
        folderSize = 0;
        blocks.emplace_back();
        folderOpenedIn.push_back(cabinets.size() - 1);
        pending.clear();
        folderSpans = false;
        cabinets.back().push_back(FolderPart{folderCount - 1, {}});
    }

    void CloseFolder() {
        if (!pending.empty()) EmitBlock(pending);
        pending.clear();
    }

    void AddFile(size_t index) {
        const StoredFile& file = files[index];
        const uint32_t offset = folderSize;
        pending += file.data;
        folderSize += static_cast<uint32_t>(file.data.size());
        while (pending.size() >= kBlockSize) {
            EmitBlock(pending.substr(0, kBlockSize));
            pending.erase(0, kBlockSize);
        }
        spans.push_back(FileSpan{index, folderCount - 1, offset});
        if (folderSpans) {
            CloseFolder();
            if (index + 1 < files.size()) OpenFolder();
        }
    }

    // A file lies in every cabinet that holds a piece of a block with its bytes.
    void PlaceFile(FileSpan& span) {
        const uint32_t end = span.offset + static_cast<uint32_t>(files[span.file].data.size());
        span.firstCabinet = span.lastCabinet = folderOpenedIn[span.folder];
        bool placed = false;
        for (const BlockPlace& block : blocks[span.folder]) {
            const bool holdsBytes = block.start < end && span.offset < block.start + block.size;
            const bool holdsEmptyFile = span.offset == end && block.start <= span.offset &&
                                        span.offset <= block.start + block.size;
            if (!holdsBytes && !holdsEmptyFile) continue;
            span.firstCabinet = placed ? std::min(span.firstCabinet, block.firstCabinet) : block.firstCabinet;
            span.lastCabinet = placed ? std::max(span.lastCabinet, block.lastCabinet) : block.lastCabinet;
            placed = true;
            if (holdsEmptyFile) break;
        }
    }

    void EmitBlock(const std::string& block) {
        const size_t firstCabinet = cabinets.size() - 1;
        std::string payload = options.compression == CabinetCompression::kMszip ? DeflateBlock(block) : block;
        while (options.cabinetCapacity != 0 && cabinetUsed < options.cabinetCapacity &&
               cabinetUsed + payload.size() > options.cabinetCapacity) {
            const size_t room = options.cabinetCapacity - cabinetUsed;
            cabinets.back().back().pieces.push_back(Piece{payload.substr(0, room), 0});
            payload.erase(0, room);
            cabinets.emplace_back();
            cabinets.back().push_back(FolderPart{folderCount - 1, {}});
            cabinetUsed = 0;
            folderSpans = true;
        }
        cabinetUsed += payload.size();
        cabinets.back().back().pieces.push_back(Piece{payload, static_cast<uint16_t>(block.size())});
        const uint32_t start = blocks.back().empty() ? 0 : blocks.back().back().start + blocks.back().back().size;
        blocks.back().push_back(BlockPlace{start, static_cast<uint32_t>(block.size()), firstCabinet, cabinets.size() - 1});
    }

    std::string CabinetName(size_t cabinet) const {
        if (cabinet < options.cabinetNames.size()) return options.cabinetNames[cabinet];
        return "part" + std::to_string(cabinet + 1) + ".cab";
    }

    uint16_t FolderIndexIn(size_t cabinet, const FileSpan& span) const {
        const bool fromPrevious = span.firstCabinet < cabinet;
        const bool toNext = span.lastCabinet > cabinet;
        if (fromPrevious && toNext) return 0xFFFF;
        if (fromPrevious) return 0xFFFD;
        if (toNext) return 0xFFFE;
        const auto& parts = cabinets[cabinet];
        for (size_t i = 0; i < parts.size(); ++i) {
            if (parts[i].folder == span.folder) return static_cast<uint16_t>(i);
        }
        return 0;
    }

    std::string Serialise(size_t cabinet) const {
        const bool hasPrevious = cabinet > 0;
        const bool hasNext = cabinet + 1 < cabinets.size();
        std::vector<const FileSpan*> listed;
        for (const FileSpan& span : spans) {
            if (span.firstCabinet <= cabinet && cabinet <= span.lastCabinet) listed.push_back(&span);
        }
        const auto& parts = cabinets[cabinet];

        std::string out = "MSCF";
        PutDword(out, 0);
        PutDword(out, 0);  // size, set below
        PutDword(out, 0);
        PutDword(out, 0);  // coffFiles, set below
        PutDword(out, 0);
        out.push_back(static_cast<char>(options.versionMinor));
        out.push_back(static_cast<char>(options.versionMajor));
        PutWord(out, static_cast<uint16_t>(parts.size()));
        PutWord(out, static_cast<uint16_t>(listed.size()));
        PutWord(out, static_cast<uint16_t>((hasPrevious ? kHasPrevious : 0) | (hasNext ? kHasNext : 0)));
        PutWord(out, options.setID);
        PutWord(out, static_cast<uint16_t>(cabinet));
        if (hasPrevious) {
            out += CabinetName(cabinet - 1) + '\0';
            out += "disk " + std::to_string(cabinet) + '\0';
        }
        if (hasNext) {
            out += CabinetName(cabinet + 1) + '\0';
            out += "disk " + std::to_string(cabinet + 2) + '\0';
        }

        std::vector<size_t> folderEntries;
        const uint16_t type = options.compressionTypeOverride != 0xFFFF
                                  ? options.compressionTypeOverride
                                  : (options.compression == CabinetCompression::kMszip ? 1 : 0);
        for (const FolderPart& part : parts) {
            folderEntries.push_back(out.size());
            PutDword(out, 0);  // data offset, set below
            PutWord(out, static_cast<uint16_t>(part.pieces.size()));
            PutWord(out, type);
        }
        SetDword(out, 16, static_cast<uint32_t>(out.size()));
        for (const FileSpan* span : listed) {
            const StoredFile& file = files[span->file];
            PutDword(out, static_cast<uint32_t>(file.data.size()));
            PutDword(out, span->offset);
            PutWord(out, FolderIndexIn(cabinet, *span));
            PutWord(out, file.date);
            PutWord(out, file.time);
            PutWord(out, file.attribs);
            out += file.name + '\0';
        }
        for (size_t i = 0; i < parts.size(); ++i) {
            SetDword(out, folderEntries[i], static_cast<uint32_t>(out.size()));
            for (const Piece& piece : parts[i].pieces) {
                const auto compressedSize = static_cast<uint16_t>(piece.payload.size());
                PutDword(out, options.checksums ? BlockChecksum(piece.payload, compressedSize, piece.uncompressedSize) : 0);
                PutWord(out, compressedSize);
                PutWord(out, piece.uncompressedSize);
                out += piece.payload;
            }
        }
        SetDword(out, 8, static_cast<uint32_t>(out.size()));
        return out;
    }

    const std::vector<StoredFile>& files;
    const CabinetOptions& options;
    std::vector<std::vector<FolderPart>> cabinets;  // per cabinet, the folders it holds
    std::vector<FileSpan> spans;
    std::vector<std::vector<BlockPlace>> blocks;  // per folder
    std::vector<size_t> folderOpenedIn;           // per folder, the cabinet it starts in
    size_t folderCount = 0;
    uint32_t folderSize = 0;
    std::string pending;
    bool folderSpans = false;
    size_t cabinetUsed = 0;
};

}  // namespace

std::vector<std::string> WriteCabinetSet(const std::vector<StoredFile>& files, const CabinetOptions& options) {
    return SetBuilder(files, options).Build();
}

std::string WriteCabinet(const std::vector<StoredFile>& files, const CabinetOptions& options) {
    CabinetOptions single = options;
    single.cabinetCapacity = 0;
    return WriteCabinetSet(files, single).front();
}

bool SaveFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::string LoadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
