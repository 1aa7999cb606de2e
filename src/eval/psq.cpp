#include "eval/psq.h"

int psqTable[16][64];

// Until the positional terms exist the table carries material only.
void prepareEvaluationTables(int /*side*/) {
    for (int colour = 0; colour < 2; ++colour)
        for (int piece = 0; piece < 8; ++piece)
            for (int sq = 0; sq < 64; ++sq)
                psqTable[colour * 8 + piece][sq] = piece >= Pawn && piece <= Queen ? pieceValue[piece] : 0;
}
