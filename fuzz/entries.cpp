#include "entries.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unordered_map>
#include <vector>

#include "board/movegen.h"
#include "book_writer.h"
#include "book/book.h"
#include "frontend/driver.h"
#include "frontend/book_choice.h"
#include "frontend/engine_state.h"
#include "frontend/game_record.h"
#include "frontend/input.h"
#include "frontend/options.h"
#include "frontend/poll.h"
#include "frontend/text_io.h"
#include "frontend/uci.h"
#include "pgn_reader.h"
#include "polyglot.h"
#include "search/tt.h"
#include "tablebases/decoder.h"
#include "tablebases/registry.h"

constexpr char ScratchPrefix[] = "tavik-fuzz-";

void sweepStaleScratch(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (fs::directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.compare(0, sizeof ScratchPrefix - 1, ScratchPrefix) != 0) continue;
        const char* digits = name.c_str() + sizeof ScratchPrefix - 1;
        char* rest = nullptr;
        const long pid = std::strtol(digits, &rest, 10);
        // What follows the pid is free: earlier runs left bare files such as <pid>.book.
        if (rest == digits || pid <= 0 || pid == long(getpid())) continue;
        if (kill(pid_t(pid), 0) == 0 || errno != ESRCH) continue;  // alive, or not ours to judge
        std::error_code ignored;
        fs::remove_all(it->path(), ignored);
    }
}

namespace {

// Inputs that name files go through a directory of this process's own, gone
// at exit. A killed run cannot clean up, so the next one sweeps its leftovers.
const std::filesystem::path& scratchDir() {
    namespace fs = std::filesystem;
    // Never destroyed: the exit handler reads it after static destructors ran.
    static const fs::path* dir = [] {
        std::error_code ec;
        fs::path root = fs::temp_directory_path(ec);
        if (ec) root = "/tmp";
        sweepStaleScratch(root);
        auto* d = new fs::path(root / (ScratchPrefix + std::to_string(getpid())));
        fs::create_directories(*d, ec);
        return d;
    }();
    static const bool registered = std::atexit([] {
        std::error_code ec;
        std::filesystem::remove_all(*dir, ec);
    }) == 0;
    (void)registered;
    return *dir;
}

std::string scratchPath(const char* name) { return (scratchDir() / name).string(); }

bool writeScratch(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// A search must end quickly whatever the limits asked for, and options that
// reach outside the process (memory size, directories) are tamed.
std::string tameLine(std::string line) {
    if (line.compare(0, 2, "go") == 0) {
        for (size_t at; (at = line.find("infinite")) != std::string::npos;) line[at] = 'I';
        return "go depth 2 nodes 2000 " + line;
    }
    if (line.find("NalimovPath") != std::string::npos) return "";
    if (line.find("Hash value") != std::string::npos) return "setoption name Hash value 1";
    return line;
}

// The engine's start-up once per process: tables, search state, a small hash.
void ensureStarted() {
    static bool started = false;
    if (started) return;
    engineStartup();
    ttResize(1024);
    quietOutput = true;
    started = true;
}

}  // namespace

void fuzzCommands(const uint8_t* data, size_t size) {
    ensureStarted();
    // Whole lines are rewritten; over-long and binary lines pass untouched.
    std::string input;
    size_t begin = 0;
    while (begin < size) {
        const uint8_t* lf = static_cast<const uint8_t*>(std::memchr(data + begin, '\n', size - begin));
        const size_t end = lf ? size_t(lf - data) : size;
        input += tameLine(std::string(reinterpret_cast<const char*>(data) + begin, end - begin));
        input += '\n';
        begin = end + 1;
    }
    if (input.size() > 60000) input.resize(60000);  // fits a pipe without blocking
    int fds[2];
    if (pipe(fds) != 0) return;
    const int saved = dup(0);
    dup2(fds[0], 0);
    close(fds[0]);
    if (write(fds[1], input.data(), input.size()) < 0) input.clear();
    close(fds[1]);
    initInputChannel();
    setFromFen(StartFen);
    quitFlag = 0;
    debugFlag = 0;
    // The engine's own loop, minus the exit at its end.
    while (!quitFlag) {
        goFlag = 0;
        dispatchCommand(1);
        if (goFlag) runGoCycle();
    }
    dup2(saved, 0);
    close(saved);
}

void fuzzFen(const uint8_t* data, size_t size) {
    ensureStarted();
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (!setFromFen(text.c_str())) return;
    Move legal[MaxGeneratedMoves + 1];
    const int n = currentLegalMoves(legal);
    if (n > 0) playMove(legal[n - 1]);
}

void fuzzPgn(const uint8_t* data, size_t size) {
    ensureStarted();
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return;
    PgnReader reader(f);
    PgnGame game;
    for (int games = 0; games < 10000 && reader.next(game); ++games) {
        if (game.malformed || game.otherVariant) continue;
        setFromFen(StartFen);
        for (size_t i = 0; i < game.moves.size() && i < 200; ++i) {
            Move legal[MaxGeneratedMoves + 1];
            const int n = currentLegalMoves(legal);
            const Move m = resolveSan(game.moves[i], gameRecord.positions[gameRecord.ply], legal, n);
            if (m == 0 || playMove(m) != int(i) + 1) break;
        }
        game = PgnGame();
    }
    std::fclose(f);
}

void fuzzBook(const uint8_t* data, size_t size) {
    ensureStarted();
    const std::string path = scratchPath("probe.book");
    if (!writeScratch(path, data, size)) return;
    openBook(path.c_str());
    ownBook = 1;
    fixedLimits = 0;
    setFromFen(StartFen);
    for (int ply = 0; ply < 8; ++ply) {
        const Move m = probeBook(engineWorker());
        if (m == 0) break;
        playMove(m);
    }
    closeBook();
    std::remove(path.c_str());
}

void fuzzPolyglot(const uint8_t* data, size_t size) {
    ensureStarted();
    const std::string path = scratchPath("import.bin");
    if (!writeScratch(path, data, size)) return;
    std::unordered_map<uint64_t, int64_t> entries;
    importPolyglot(path, 40, entries);
    std::remove(path.c_str());
}

void fuzzDecoder(const uint8_t* data, size_t size) {
    ensureStarted();
    FILE* f = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!f) return;
    for (bool checking : {false, true}) {
        DecoderHeader* header = nullptr;
        if (openCompressedFile(f, checking, &header) != 0 || !header) continue;
        static DecodeState state;
        static uint8_t output[CompressedBlockSize];
        for (uint32_t block = 0; block < header->blocks && block < 64; ++block) {
            state = DecodeState();
            state.valid = true;
            if (readCompressedBlock(state, header, f, block) != 0) break;
            const int want = block + 1 == header->blocks ? header->lastBlockLength : header->blockSize;
            if (want < 0 || want > CompressedBlockSize) break;
            if (decodeCompressedBlock(state, output, want) < 0) break;
        }
        freeDecoderHeader(header);
    }
    std::fclose(f);
}

void fuzzTableFile(const uint8_t* data, size_t size) {
    ensureStarted();
    if (size < 1) return;
    // The first byte picks plain or compressed and the probed index.
    const bool compressed = data[0] & 1;
    const std::string base = scratchPath("kqk.nbw");
    const std::string file = compressed ? base + ".emd" : base;
    if (!writeScratch(file, data + 1, size - 1)) return;
    std::string path;
    int64_t length = 0;
    for (int64_t index : {int64_t(0), int64_t(data[0] >> 1) * 97, int64_t(size) - 2, int64_t(size) * 4})
        readTableFileByte(base, index, path, length);
    std::remove(file.c_str());
}

FuzzEntry fuzzEntry(const char* name) {
    static const struct {
        const char* name;
        FuzzEntry entry;
    } table[] = {{"commands", fuzzCommands}, {"fen", fuzzFen},         {"pgn", fuzzPgn},
                 {"book", fuzzBook},         {"polyglot", fuzzPolyglot}, {"decoder", fuzzDecoder},
                 {"tablefile", fuzzTableFile}};
    for (const auto& t : table)
        if (std::strcmp(t.name, name) == 0) return t.entry;
    return nullptr;
}
