// Times the preflight scan's own work as the traces grow: the Keychain dump parse and the
// temporary-folder listing on their own (anywhere), and the whole scan inside the simulated Mac
// with the full footprint, its tools replaced by stand-ins that print canned output at once.
//
//   build/bench/scan_bench                          parse and listing only
//   sim/run --scene full -- build/bench/scan_bench  also the whole scan

#include "HomeFolder.h"
#include "discovery/InventoryScanner.h"
#include "discovery/KeychainDump.h"
#include "foundation/Shell.h"
#include "foundation/SystemTools.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

double millisecondsOf(const std::function<void()>& work, int repeats = 3) {
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// A dump shaped like "security dump-keychain" output: one item per ~400 bytes, a product account
// every tenth item, the rest other people's.
std::string keychainDump(size_t bytes) {
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
    return dump;
}

// Adds entries number `from` up to `to` to `folder`, one in a hundred a product remnant.
void fillTemporaryFolder(const fs::path& folder, size_t from, size_t to) {
    for (size_t i = from; i < to; ++i) {
        const std::string name = i % 100 == 0 ? "nuvraInstaller-" + std::to_string(i)
                                              : "com.example.cache." + std::to_string(i);
        std::ofstream(folder / name).put('x');
    }
}

void benchParse() {
    for (size_t megabytes : {5, 10, 20}) {
        const std::string dump = keychainDump(megabytes << 20);
        size_t found = 0;
        const double ms =
            millisecondsOf([&] { found = KeychainDump::parseNuvraAccounts(dump).size(); });
        std::printf("keychain parse      %2zu MB dump     %8.2f ms  (%zu accounts)\n", megabytes,
                    ms, found);
    }
}

void benchTemporaryFolder(const fs::path& scratch) {
    const char* saved = std::getenv("TMPDIR");
    const std::string savedTmpdir = saved ? saved : "";
    size_t filled = 0;
    const fs::path folder = scratch / "T";
    fs::create_directories(folder);
    setenv("TMPDIR", (folder.string() + "/").c_str(), 1);
    for (size_t entries : {12500, 25000, 50000}) {
        fillTemporaryFolder(folder, filled, entries);
        filled = entries;
        size_t found = 0;
        const double ms = millisecondsOf([&] { found = InventoryScanner::tempRemnants().size(); });
        std::printf("temporary remnants  %6zu entries  %8.2f ms  (%zu remnants)\n", entries, ms,
                    found);
    }
    if (saved) {
        setenv("TMPDIR", savedTmpdir.c_str(), 1);
    } else {
        unsetenv("TMPDIR");
    }
}

// Only inside the simulated Mac may the bench replace system tools: there every write lands in a
// throwaway overlay.
bool insideSimulatedMac() {
    const char* sim = std::getenv("SIM");
    return sim && std::string(sim) == "1" && fs::exists("/var/db/sim");
}

// Replaces `tool` with a script that prints `cannedOutputFile` and exits 0.
void installStandIn(const std::string& tool, const fs::path& cannedOutputFile) {
    fs::remove(tool);
    std::ofstream(tool) << "#!/bin/sh\nexec /bin/cat '" << cannedOutputFile.string() << "'\n";
    fs::permissions(tool, fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);
}

void benchWholeScan(const fs::path& scratch) {
    // Capture the keyboard settings once from the simulated tool, then answer from a file.
    const fs::path settings = scratch / "hitoolbox.plist";
    const auto exported = Shell::runIgnoringLaunchFailure(SystemTools::defaults,
                                                          {"export", "com.apple.HIToolbox", "-"});
    std::ofstream(settings) << (exported ? exported->data.view() : std::string_view());
    installStandIn(SystemTools::defaults, settings);

    const fs::path dumpFile = scratch / "keychain.txt";
    auto timeScan = [](const char* label) {
        size_t items = 0;
        const double ms = millisecondsOf([&] { items = InventoryScanner::scan().items.size(); });
        std::printf("whole scan  %-34s %8.2f ms  (%zu items)\n", label, ms, items);
    };

    std::ofstream(dumpFile) << keychainDump(4096);
    installStandIn(SystemTools::security, dumpFile);
    timeScan("full footprint");

    const fs::path temporaryFolder = HomeFolder::temporaryDirectory();
    fillTemporaryFolder(temporaryFolder, 0, 25000);
    timeScan("+ 25,000 temporary entries");
    fillTemporaryFolder(temporaryFolder, 25000, 50000);
    timeScan("+ 50,000 temporary entries");

    std::ofstream(dumpFile, std::ios::trunc) << keychainDump(10u << 20);
    timeScan("+ 50,000 entries, 10 MB Keychain");
    std::ofstream(dumpFile, std::ios::trunc) << keychainDump(20u << 20);
    timeScan("+ 50,000 entries, 20 MB Keychain");
}

} // namespace

int main() {
    const fs::path scratch = fs::temp_directory_path() / ("scan_bench." + std::to_string(getpid()));
    fs::create_directories(scratch);

    benchParse();
    benchTemporaryFolder(scratch);
    if (insideSimulatedMac()) {
        benchWholeScan(scratch);
    } else {
        std::puts("whole scan: skipped (run through sim/run --scene full)");
    }

    std::error_code ignored;
    fs::remove_all(scratch, ignored);
    return 0;
}
