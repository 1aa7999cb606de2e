// Engine options set through "setoption name ...".
#pragma once

// The options' names, written once: "uci" announces them with their
// declarations, setOption matches "<name> value <text>" against them.
inline constexpr const char* HashName = "Hash";
inline constexpr const char* NalimovCacheName = "NalimovCache";
inline constexpr const char* NalimovPathName = "NalimovPath";
inline constexpr const char* OwnBookName = "OwnBook";
inline constexpr const char* DrawScoreName = "DrawScore";
inline constexpr const char* NullmoveName = "Nullmove";
inline constexpr const char* ClearHashName = "Clear Hash";
inline constexpr const char* MultiPVName = "MultiPV";
inline constexpr const char* CpuShareName = "% CPU";
inline constexpr const char* LowercasePromotionsName = "Lowercase Promotions";
inline constexpr const char* ThreadsName = "Threads";

struct OptionDeclaration {
    const char* name;
    const char* declaration;  // what follows the name in the "option" line
};
// In the order of the "option" lines.
inline constexpr OptionDeclaration optionDeclarations[] = {
    {HashName, "type spin default 4 min 1 max 1024"},
    {NalimovCacheName, "type spin default 4 min 1 max 128"},
    {NalimovPathName, "type string default c:\\"},
    {OwnBookName, "type check default true"},
    {DrawScoreName, "type spin default 0 min -1000 max 1000"},
    {NullmoveName, "type spin default 3 min 0 max 4"},
    {ClearHashName, "type button"},
    {MultiPVName, "type spin default 1 min 1 max 16"},
    {CpuShareName, "type spin default 100 min 10 max 100"},
    {LowercasePromotionsName, "type check default false"},
    // The handshake shows the machine's hardware threads as the maximum when
    // there are more than 256.
    {ThreadsName, "type spin default 1 min 1 max 256"},
};

extern int cacheMegabytes;
extern char tablebasePath[256];
extern int ownBook;

void setOption(const char* text);
// The options that rebuild what helper threads use (the table, the
// tablebases, the threads themselves) wait while helpers search; the search
// that ends applies them, in the order they came.
void applyDeferredOptions();
