// The positions of "tavik-tool bench": openings, middlegames, tactics,
// endings and pawn endings, so that every part of the search and the
// evaluation carries some of the node count. Changing this list changes the
// bench signature.
#pragma once

inline constexpr const char* SearchBenchPositions[] = {
    // Openings
    "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1",
    "rnbqkbnr/pp2pppp/2p5/3pP3/3P4/8/PPP2PPP/RNBQKBNR b KQkq - 0 3",
    "rnbqkb1r/1p2pppp/p2p1n2/8/3NP3/2N5/PPP2PPP/R1BQKB1R w KQkq - 0 6",
    "r1bqk2r/1pppbppp/p1n2n2/4p3/B3P3/5N2/PPPP1PPP/RNBQ1RK1 w kq - 4 6",
    "rnbqk1nr/ppp2ppp/4p3/3p4/1b1PP3/2N5/PPP2PPP/R1BQKBNR w KQkq - 2 4",
    "rnbq1rk1/ppp1ppbp/3p1np1/8/2PPP3/2N2N2/PP3PPP/R1BQKB1R w KQ - 1 6",
    "rnbqkbnr/ppp1p1pp/8/3pPp2/8/8/PPPP1PPP/RNBQKBNR w KQkq f6 0 3",
    // Middlegames
    "r3k2r/p1ppqpb1/bn2pnp1/3PN3/1p2P3/2N2Q1p/PPPBBPPP/R3K2R w KQkq - 0 1",
    "r2q1rk1/pp2bppp/2n1pn2/3p4/2PP4/2N2N2/PP2BPPP/R2Q1RK1 w - - 0 10",
    "2r2rk1/1bqnbppp/pp1ppn2/8/2PNP3/1PN1B3/P3BPPP/2RQ1RK1 w - - 0 13",
    "r1bq1rk1/pp2ppbp/2np1np1/8/3NP3/2N1BP2/PPPQ2PP/2KR1B1R b - - 4 9",
    "r4rk1/1pp1qppp/p1np1n2/2b1p1B1/2B1P1b1/P1NP1N2/1PP1QPPP/R4RK1 w - - 0 10",
    "2kr3r/pp1q1ppp/2n1bn2/3p4/3P4/2NB1N2/PP1Q1PPP/2KR3R b - - 5 14",
    // Tactics: mates, back rank, a queen sacrifice
    "r1bqkb1r/pppp1ppp/2n2n2/4p2Q/2B1P3/8/PPPP1PPP/RNB1K1NR w KQkq - 4 4",
    "6k1/5ppp/8/8/8/8/5PPP/3R2K1 w - - 0 1",
    "r2qkb1r/pp2nppp/3p4/2pNN1B1/2BnP3/3P4/PPP2PPP/R2bK2R w KQkq - 1 10",
    "r1b2k1r/ppppq3/5N1p/4P2Q/4PP2/1B6/PP5P/n2K2R1 w - - 1 20",
    "2rr3k/pp3pp1/1nnqbN1p/3pN3/2pP4/2P3Q1/PPB4P/R4RK1 w - - 0 1",
    "r1b1k2r/ppppnppp/2n2q2/2b5/3NP3/2P1B3/PP3PPP/RN1QKB1R w KQkq - 0 7",
    // Endings with pieces
    "8/2p5/3p4/KP5r/1R3p1k/8/4P1P1/8 w - - 0 1",
    "1K1k4/1P6/8/8/8/8/r7/2R5 w - - 0 1",
    "4k3/8/8/3KP3/8/8/r7/7R b - - 0 1",
    "8/4kp2/6p1/1p1n3p/1P5P/4B1P1/5PK1/8 w - - 0 40",
    "8/8/8/4k3/8/8/2r5/K2Q4 w - - 0 1",
    "8/8/8/4k3/8/8/8/KBN5 w - - 0 1",
    // Pawn endings
    "8/8/8/8/8/4k3/4P3/4K3 w - - 0 1",
    "8/k7/3p4/p2P1p2/P2P1P2/8/8/K7 w - - 0 1",
    "k7/ppp5/8/PPP5/8/8/8/7K w - - 0 1",
    "8/6p1/5k1p/8/2K5/7P/6P1/8 w - - 0 1",
    "8/1p3k2/p1p5/P1P5/1P2K3/8/8/8 b - - 0 45",
};

inline constexpr int SearchBenchCount = int(sizeof SearchBenchPositions / sizeof SearchBenchPositions[0]);
