// The preflight scan's own time as the traces grow, inside a simulated Mac with the full footprint
// and tool stand-ins that answer at once (bench/canned_tools.sh): 50,000 entries in the temporary
// folder against none, and a 20 MB Keychain dump against twice the 10 MB one (linear growth keeps
// the ratio at or below 1). The sizes alternate from one scan to the next.
//
//   sim/run --scene full -- bash -c 'source bench/canned_tools.sh &&
//       install_canned_tools build-release/bench/canned_tool && build-release/bench/scan_bench 5'
//
// Prints table rows (see bench/table.py).

#include "discovery/InventoryScanner.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const fs::path cannedDump = "/var/db/bench-canned/security.dump-keychain";

double scanMilliseconds() {
    const auto start = std::chrono::steady_clock::now();
    InventoryScanner::scan();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// A dump shaped like "security dump-keychain" output: one item per ~400 bytes, a product account
// every tenth item, the rest other people's.
void writeKeychainDump(const fs::path& file, size_t bytes) {
    std::string dump;
    dump.reserve(bytes + 512);
    for (size_t i = 0; dump.size() < bytes; ++i) {
        dump += "keychain: \"/Users/tester/Library/Keychains/login.keychain-db\"\n"
                "version: 512\n"
                "class: \"genp\"\n"
                "attributes:\n"
                "    0x00000007 <blob>=\"service-" +
                std::to_string(i) + "\"\n    \"acct\"<blob>=\"" +
                (i % 10 == 0 ? "ai.nuvra.account." + std::to_string(i % 1000)
                             : "someone" + std::to_string(i) + "@example.com") +
                "\"\n    \"cdat\"<timedate>=0x32303236303130313030303030305A00  "
                "\"20260101000000Z\\000\"\n    \"svce\"<blob>=\"service\"\n";
    }
    std::ofstream(file, std::ios::trunc) << dump;
}

// `entries` entries, one in a hundred a product remnant.
void fillTemporaryFolder(const fs::path& folder, size_t entries) {
    fs::create_directories(folder);
    for (size_t i = 0; i < entries; ++i) {
        const std::string name = i % 100 == 0 ? "nuvraInstaller-" + std::to_string(i)
                                              : "com.example.cache." + std::to_string(i);
        std::ofstream(folder / name).put('x');
    }
}

void useTemporaryFolder(const fs::path& folder) {
    setenv("TMPDIR", (folder.string() + "/").c_str(), 1);
}

void useKeychainDump(const fs::path& dump) {
    fs::remove(cannedDump);
    fs::create_symlink(dump, cannedDump);
}

std::string joined(const std::vector<double>& values) {
    std::string text;
    for (double value : values) {
        text += (text.empty() ? "" : ",") + std::to_string(value);
    }
    return text;
}

} // namespace

int main(int argc, char** argv) {
    const int repetitions = argc > 1 ? std::atoi(argv[1]) : 5;
    if (!fs::exists(cannedDump)) {
        std::fprintf(stderr, "scan_bench: run it in the simulated Mac with canned tools\n");
        return 1;
    }
    const fs::path scratch = "/var/db/scan-bench";
    const fs::path emptyFolder = scratch / "T0";
    const fs::path fullFolder = scratch / "T50k";
    fillTemporaryFolder(emptyFolder, 0);
    fillTemporaryFolder(fullFolder, 50000);
    const fs::path oneMegabyte = scratch / "keychain-1MB";
    const fs::path tenMegabytes = scratch / "keychain-10MB";
    const fs::path twentyMegabytes = scratch / "keychain-20MB";
    writeKeychainDump(oneMegabyte, 1u << 20);
    writeKeychainDump(tenMegabytes, 10u << 20);
    writeKeychainDump(twentyMegabytes, 20u << 20);

    std::vector<double> noEntries, manyEntries, twiceTen, twenty;
    for (int round = 0; round < repetitions; ++round) {
        useKeychainDump(oneMegabyte);
        useTemporaryFolder(emptyFolder);
        noEntries.push_back(scanMilliseconds());
        useTemporaryFolder(fullFolder);
        manyEntries.push_back(scanMilliseconds());

        useTemporaryFolder(emptyFolder);
        useKeychainDump(tenMegabytes);
        twiceTen.push_back(2 * scanMilliseconds());
        useKeychainDump(twentyMegabytes);
        twenty.push_back(scanMilliseconds());
    }
    std::printf("row|scan: 50k temporary entries (anchor 0 entries)|ms|%s|%s|+<=25\n",
                joined(manyEntries).c_str(), joined(noEntries).c_str());
    std::printf("row|scan: 20 MB Keychain dump (anchor 2x the 10 MB scan)|ms|%s|%s|x<=1.1\n",
                joined(twenty).c_str(), joined(twiceTen).c_str());
    fs::remove_all(scratch);
    return 0;
}
