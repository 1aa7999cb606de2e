"""The sums of a match: Elo difference from the score, its 95 % error margin,
the likelihood of superiority, and the sequential probability ratio test.

Elo here is logistic Elo, the scale on which a score s means
-400 * log10(1/s - 1) points; the SPRT's elo0 and elo1 are on the same scale.
"""
import math

Z95 = 1.959963984540054  # two-sided 95 % quantile of the normal distribution


def expected_score(elo):
    return 1.0 / (1.0 + 10.0 ** (-elo / 400.0))


def elo_of(score):  # +-inf for a perfect or a nil score
    if score <= 0.0:
        return -math.inf
    if score >= 1.0:
        return math.inf
    return -400.0 * math.log10(1.0 / score - 1.0)


def score_and_variance(wins, draws, losses):
    """Mean score of a game and the per-game variance of the outcome."""
    games = wins + draws + losses
    score = (wins + 0.5 * draws) / games
    variance = (wins * (1 - score) ** 2 + draws * (0.5 - score) ** 2 + losses * score ** 2) / games
    return score, variance


def elo_with_margin(wins, draws, losses):
    """(Elo difference, half-width of its 95 % interval); the interval is the
    normal one of the mean score, carried through the Elo curve."""
    if wins + draws + losses == 0:
        return 0.0, math.inf
    score, variance = score_and_variance(wins, draws, losses)
    deviation = math.sqrt(variance / (wins + draws + losses))
    low, high = elo_of(score - Z95 * deviation), elo_of(score + Z95 * deviation)
    margin = (high - low) / 2.0
    return elo_of(score), margin if math.isfinite(margin) else math.inf


def likelihood_of_superiority(wins, losses):  # draws say nothing about which side is stronger
    if wins + losses == 0:
        return 0.5
    return 0.5 * (1.0 + math.erf((wins - losses) / math.sqrt(2.0 * (wins + losses))))


def sprt_bounds(alpha=0.05, beta=0.05):
    """(lower, upper): below lower, accept elo0; above upper, accept elo1."""
    return math.log(beta / (1.0 - alpha)), math.log((1.0 - beta) / alpha)


def sprt_llr(wins, draws, losses, elo0, elo1):
    """Log-likelihood ratio of elo1 against elo0, in the usual normal
    approximation of the generalised SPRT: the mean score is taken as
    normal with the variance the games show. A kind of result not yet seen
    counts as half a game, so that a run of like results (an engine that
    crashes every game) still comes to a decision."""
    if wins + draws + losses == 0:
        return 0.0
    wins, draws, losses = (count or 0.5 for count in (wins, draws, losses))
    games = wins + draws + losses
    score, variance = score_and_variance(wins, draws, losses)
    s0, s1 = expected_score(elo0), expected_score(elo1)
    return games * (s1 - s0) * (2.0 * score - s0 - s1) / (2.0 * variance)


def sprt_verdict(llr, bounds):  # "H1" (elo1 accepted), "H0", or None to go on
    if llr >= bounds[1]:
        return "H1"
    if llr <= bounds[0]:
        return "H0"
    return None


def format_elo(value):
    return ("+inf" if value > 0 else "-inf") if math.isinf(value) else "%+.1f" % (round(value, 1) + 0.0)


def summary_lines(name_a, name_b, wins, draws, losses):
    """The score block printed after each game and at the end; results are
    from the first engine's point of view."""
    games = wins + draws + losses
    lines = ["Score of %s vs %s: %d - %d - %d  [%.3f] %d" % (
        name_a, name_b, wins, losses, draws, (wins + 0.5 * draws) / games if games else 0.0, games)]
    elo, margin = elo_with_margin(wins, draws, losses)
    lines.append("Elo difference: %s +/- %s (95 %%), LOS: %.1f %%, draw ratio: %.1f %%" % (
        format_elo(elo), "inf" if math.isinf(margin) else "%.1f" % margin,
        100.0 * likelihood_of_superiority(wins, losses), 100.0 * draws / games if games else 0.0))
    return lines
