"""A game as a match runner keeps it: the board, each move in SAN, and the
rules that end a game while moves are still legal (repetition, fifty moves,
insufficient material). Which moves are legal, and whether none is, comes
from "tavik-tool legal"; this module only plays the moves it is given.

Squares are numbered 0 (a1) to 63 (h8); pieces are FEN letters, ' ' empty.
"""

START_FEN = "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1"
FILES = "abcdefgh"
KNIGHT_STEPS = ((1, 2), (2, 1), (2, -1), (1, -2), (-1, -2), (-2, -1), (-2, 1), (-1, 2))
KING_STEPS = ((1, 0), (1, 1), (0, 1), (-1, 1), (-1, 0), (-1, -1), (0, -1), (1, -1))
ROOK_RAYS = ((1, 0), (-1, 0), (0, 1), (0, -1))
BISHOP_RAYS = ((1, 1), (1, -1), (-1, 1), (-1, -1))
# Castling right letter: the king's and the rook's home squares.
CASTLING_HOMES = {"K": (4, 7), "Q": (4, 0), "k": (60, 63), "q": (60, 56)}


def square_of(name):
    return FILES.index(name[0]) + 8 * (int(name[1]) - 1)


def square_name(sq):
    return FILES[sq % 8] + str(sq // 8 + 1)


class Board:

    def __init__(self, fen=START_FEN):
        fields = fen.split()
        if len(fields) < 4:
            raise ValueError("FEN needs at least four fields: %r" % fen)
        ranks = fields[0].split("/")
        if len(ranks) != 8:
            raise ValueError("FEN needs eight ranks: %r" % fen)
        self.squares = [" "] * 64
        for row, text in enumerate(ranks):
            file = 0
            for c in text:
                if c.isdigit():
                    file += int(c)
                elif c in "PNBRQKpnbrqk" and file < 8:
                    self.squares[(7 - row) * 8 + file] = c
                    file += 1
                else:
                    raise ValueError("bad rank %r in FEN %r" % (text, fen))
            if file != 8:
                raise ValueError("bad rank %r in FEN %r" % (text, fen))
        self.white = fields[1] == "w"
        self.castling = "".join(c for c in "KQkq" if c in fields[2])
        self.ep = None if fields[3] == "-" else square_of(fields[3])
        self.halfmoves = int(fields[4]) if len(fields) > 4 else 0
        self.fullmove = int(fields[5]) if len(fields) > 5 else 1
        self._keep_valid_rights()

    def _keep_valid_rights(self):  # a right needs its king and rook at home
        self.castling = "".join(c for c in self.castling if self.squares[CASTLING_HOMES[c][0]] == ("K" if c.isupper()
                                else "k") and self.squares[CASTLING_HOMES[c][1]] == ("R" if c.isupper() else "r"))

    def placement(self):
        rows = []
        for rank in range(7, -1, -1):
            row, empty = "", 0
            for file in range(8):
                piece = self.squares[rank * 8 + file]
                if piece == " ":
                    empty += 1
                    continue
                row += (str(empty) if empty else "") + piece
                empty = 0
            rows.append(row + (str(empty) if empty else ""))
        return "/".join(rows)

    def fen(self):
        return "%s %s %s %s %d %d" % (self.placement(), "w" if self.white else "b", self.castling or "-",
                                      square_name(self.ep) if self.ep is not None else "-", self.halfmoves,
                                      self.fullmove)

    def key(self, legal):
        """What makes positions the same for the repetition rule; an en-passant
        square counts only when a legal move takes there."""
        ep = ""
        if self.ep is not None:
            target = square_name(self.ep)
            if any(m[2:4] == target and self.squares[square_of(m[:2])].upper() == "P" for m in legal):
                ep = target
        return (self.placement(), self.white, self.castling, ep)

    def attacked(self, sq, by_white):
        file, rank = sq % 8, sq // 8

        def piece_at(df, dr):
            f, r = file + df, rank + dr
            return self.squares[r * 8 + f] if 0 <= f < 8 and 0 <= r < 8 else None

        def own(letter):
            return letter.upper() if by_white else letter.lower()

        pawn_rank = -1 if by_white else 1
        if own("P") in (piece_at(-1, pawn_rank), piece_at(1, pawn_rank)):
            return True
        if any(piece_at(*step) == own("N") for step in KNIGHT_STEPS):
            return True
        if any(piece_at(*step) == own("K") for step in KING_STEPS):
            return True
        for rays, sliders in ((ROOK_RAYS, (own("R"), own("Q"))), (BISHOP_RAYS, (own("B"), own("Q")))):
            for df, dr in rays:
                distance, piece = 1, piece_at(df, dr)
                while piece == " ":
                    distance += 1
                    piece = piece_at(df * distance, dr * distance)
                if piece in sliders:
                    return True
        return False

    def in_check(self):
        king = self.squares.index("K" if self.white else "k")
        return self.attacked(king, not self.white)

    def insufficient_material(self):
        """Neither side can ever mate: bare kings, one minor piece, or only
        bishops all on squares of one colour."""
        men = [(piece.upper(), sq) for sq, piece in enumerate(self.squares) if piece not in " Kk"]
        if len(men) <= 1:
            return not men or men[0][0] in "NB"
        return all(piece == "B" for piece, _ in men) and len({(sq % 8 + sq // 8) % 2 for _, sq in men}) == 1

    def san(self, move, legal):
        """SAN of a legal move, without the check mark (that needs the
        position after it)."""
        start, target = square_of(move[:2]), square_of(move[2:4])
        piece = self.squares[start].upper()
        if piece == "K" and abs(target - start) == 2:
            return "O-O" if target > start else "O-O-O"
        capture = self.squares[target] != " " or (piece == "P" and start % 8 != target % 8)
        if piece == "P":
            text = (move[0] + "x" if capture else "") + move[2:4]
            return text + ("=" + move[4].upper() if len(move) > 4 else "")
        rivals = [m[:2] for m in legal if m[2:4] == move[2:4] and m[:2] != move[:2]
                  and self.squares[square_of(m[:2])].upper() == piece]
        if not rivals:
            which = ""
        elif all(r[0] != move[0] for r in rivals):
            which = move[0]
        elif all(r[1] != move[1] for r in rivals):
            which = move[1]
        else:
            which = move[:2]
        return piece + which + ("x" if capture else "") + move[2:4]

    def play(self, move):
        """Plays a move known to be legal (lower-case promotion letter or
        upper case, both read)."""
        start, target = square_of(move[:2]), square_of(move[2:4])
        piece = self.squares[start]
        taken = self.squares[target]
        if piece.upper() == "P" and start % 8 != target % 8 and taken == " ":
            self.squares[target + (-8 if self.white else 8)] = " "  # en passant
            taken = "p"
        if piece.upper() == "K" and abs(target - start) == 2:
            rook_from, rook_to = (start + 3, start + 1) if target > start else (start - 4, start - 1)
            self.squares[rook_to], self.squares[rook_from] = self.squares[rook_from], " "
        self.squares[start] = " "
        if len(move) > 4:
            piece = move[4].upper() if self.white else move[4].lower()
        self.squares[target] = piece
        self.ep = (start + target) // 2 if piece.upper() == "P" and abs(target - start) == 16 else None
        self.halfmoves = 0 if piece.upper() == "P" or taken != " " else self.halfmoves + 1
        if not self.white:
            self.fullmove += 1
        self.white = not self.white
        self._keep_valid_rights()


class Game:
    """A game from a start position: the moves, their SAN, and the verdict
    once the rules end it."""

    def __init__(self, fen=START_FEN):
        self.start_fen = fen
        self.board = Board(fen)
        self.moves, self.sans = [], []
        self.seen = {}

    def note_position(self, legal, status):
        """Called once for each position reached, with its legal moves and
        tavik-tool's status line; the result ("1-0", "0-1", "1/2-1/2") and
        why, or None while the game goes on."""
        if self.sans and self.board.in_check():
            self.sans[-1] += "#" if status == "checkmate" else "+"
        key = self.board.key(legal)
        self.seen[key] = self.seen.get(key, 0) + 1
        if status == "checkmate":
            return ("0-1" if self.board.white else "1-0"), ("black" if self.board.white else "white") + " mates"
        if status == "stalemate":
            return "1/2-1/2", "stalemate"
        if self.board.insufficient_material():
            return "1/2-1/2", "insufficient material"
        if self.seen[key] >= 3:
            return "1/2-1/2", "threefold repetition"
        if self.board.halfmoves >= 100:
            return "1/2-1/2", "fifty-move rule"
        return None

    def play(self, move, legal):
        self.sans.append(self.board.san(move, legal))
        self.board.play(move)
        self.moves.append(move)


def pgn_text(tags, game, result, comments=(), termination_comment=None):
    """One game in PGN export form: the seven standard tags first, then the
    others in the order given; movetext wrapped under 80 columns."""
    lines = ['[%s "%s"]' % (name, str(value).replace("\\", "\\\\").replace('"', '\\"')) for name, value in tags]
    board = Board(game.start_fen)
    number, white = board.fullmove, board.white
    tokens = []
    for i, san in enumerate(game.sans):
        if white:
            tokens.append("%d." % number)
        elif i == 0:
            tokens.append("%d..." % number)
        tokens.append(san)
        if i < len(comments) and comments[i]:
            tokens.append("{%s}" % comments[i])
        if not white:
            number += 1
        white = not white
    if termination_comment:
        tokens.append("{%s}" % termination_comment)
    tokens.append(result)
    text, line = [], ""
    for token in tokens:
        if line and len(line) + 1 + len(token) > 79:
            text.append(line)
            line = token
        else:
            line = line + " " + token if line else token
    text.append(line)
    return "\n".join(lines) + "\n\n" + "\n".join(text) + "\n\n"
