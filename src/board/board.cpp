#include "board/board.h"

#include <cstring>

const int pieceValue[8] = {0, 100, 330, 350, 520, 1040, 1200, 100};

const int moveTypeOf[2][8] = {{0, 1, 2, 3, 4, 5, 6, 0}, {0, 7, 2, 3, 4, 5, 6, 0}};

void Position::clearBoard() {
    for (auto& sq : board) sq = SquareState{NoPiece, NoColour};
    std::memset(pieceList, 0, sizeof pieceList);
    std::memset(lastPieceIndex, 0, sizeof lastPieceIndex);
    std::memset(pieceCount, 0, sizeof pieceCount);
    nonPawnMaterial = 0;
    psqScore[0] = psqScore[1] = 0;
    castleRights = 0;
    hasCastled[0] = hasCastled[1] = 0;
    epSquare = 0;
    fiftyCount = 0;
    hashKey = 0;
    whitePawns = blackPawns = 0;
    pawnHashKey = 0;
    rebuildMenSets();
}

void Position::rebuildMenSets() {
    std::memset(menSet, 0, sizeof menSet);
    occupiedSet = 0;
    for (Square s = 0; s < 64; ++s) {
        const SquareState m = board[s];
        if (m.colour == NoColour) continue;
        menSet[m.colour * 8 + m.piece] |= uint64_t{1} << s;
        occupiedSet |= uint64_t{1} << s;
    }
    for (int& slot : listSlot) slot = -1;
    for (int colour = White; colour <= Black; ++colour)
        for (int i = lastPieceIndex[colour]; i >= 0; --i) listSlot[pieceList[colour][i]] = i;
}
