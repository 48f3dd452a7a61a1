// The extractor's placing of files, with stored names the fuzzer chooses: a cabinet holding
// one small file per name (names are cut at zero bytes) is extracted by CCabinetExtractor into
// a destination deep inside a sandbox folder. Whatever the names, nothing appears anywhere but
// below the destination: not in the sandbox around it, not in its sibling folder, and not at
// the place a name would reach if its ".." and absolute forms were obeyed.
#include <dlfcn.h>

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cabinet/CabinetExtractor.h"
#include "support/CabinetWriter.h"

namespace fs = std::filesystem;

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

constexpr size_t kMostNames = 16;

struct Sandbox {
    fs::path root;
    fs::path destination;
    fs::path sibling;
    fs::path cabinet;

    Sandbox() {
        std::string pattern = (fs::temp_directory_path() / "tarnwick-fuzz-XXXXXX").string();
        Check(::mkdtemp(pattern.data()) != nullptr);
        root = pattern;
        // Deep enough that a climb of a few levels still lands inside the sandbox, where the
        // walk below sees it.
        destination = root / "a" / "b" / "c" / "d" / "e" / "dest";
        sibling = root / "a" / "b" / "c" / "d" / "e" / "sibling";
        cabinet = root / "names.cab";
        fs::create_directories(destination);
        fs::create_directories(sibling);
        Check(SaveFile((sibling / "marker.txt").string(), "untouched\n"));
    }
    ~Sandbox() {
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }

    // Everything in the sandbox that is neither the destination's content nor put there by us.
    bool OnlyDestinationChanged() const {
        const std::vector<fs::path> ours = {
            root / "a", root / "a" / "b", root / "a" / "b" / "c", root / "a" / "b" / "c" / "d",
            root / "a" / "b" / "c" / "d" / "e", destination, sibling, sibling / "marker.txt", cabinet};
        const std::string inside = destination.string() + "/";
        for (const auto& entry : fs::recursive_directory_iterator(root)) {
            const fs::path& path = entry.path();
            if (path.string().rfind(inside, 0) == 0) continue;
            bool known = false;
            for (const fs::path& own : ours) known = known || path == own;
            if (!known) return false;
        }
        return LoadFile((sibling / "marker.txt").string()) == "untouched\n";
    }

    void EmptyDestination() const {
        fs::remove_all(destination);
        fs::create_directories(destination);
    }
};

// Where a name would land if its separators, ".." and leading separators were all obeyed.
fs::path ReachOf(const fs::path& destination, std::string name) {
    for (char& c : name) {
        if (c == '\\') c = '/';
    }
    const fs::path named(name);
    return (named.is_absolute() ? named : destination / named).lexically_normal();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // libFuzzer keeps the coverage counters of libcabinet.so from its first load on; the
    // extractor unloads the library after every run, so it is held loaded here for good.
    static void* const keptLoaded = ::dlopen("libcabinet.so", RTLD_NOW);
    Check(keptLoaded != nullptr);
    static const Sandbox sandbox;
    std::vector<StoredFile> files;
    const std::string input(reinterpret_cast<const char*>(data), size);
    for (size_t start = 0; start <= input.size() && files.size() < kMostNames;) {
        const size_t end = std::min(input.find('\0', start), input.size());
        files.push_back({input.substr(start, end - start), "x"});
        start = end + 1;
    }
    // The places outside the destination that the names aim at must stay as they were. A name
    // aimed at something that exists outside the sandbox (a system file) is not tried: a fault
    // would damage the machine before it could be reported.
    const std::string inside = sandbox.destination.string() + "/";
    const std::string inSandbox = sandbox.root.string() + "/";
    std::vector<fs::path> absentTargets;
    for (const StoredFile& file : files) {
        const fs::path reach = ReachOf(sandbox.destination, file.name);
        if (reach.string().rfind(inside, 0) == 0) continue;
        std::error_code ignored;
        const bool exists = fs::exists(fs::symlink_status(reach, ignored));
        if (exists && reach.string().rfind(inSandbox, 0) != 0) return 0;
        if (!exists) absentTargets.push_back(reach);
    }

    CabinetOptions options;
    options.compression = CabinetCompression::kStored;
    options.checksums = false;
    Check(SaveFile(sandbox.cabinet.string(), WriteCabinet(files, options)));

    CCabinetExtractor extractor;
    Check(extractor.Create());
    const bool extracted = extractor.Extract(sandbox.destination.c_str(), sandbox.cabinet.c_str());
    const int code = extractor.ReportedErrorCode();
    Check(extracted ? code == 0 : code != 0);

    Check(sandbox.OnlyDestinationChanged());
    for (const fs::path& target : absentTargets) {
        std::error_code ignored;
        Check(!fs::exists(fs::symlink_status(target, ignored)));
    }
    sandbox.EmptyDestination();
    return 0;
}
