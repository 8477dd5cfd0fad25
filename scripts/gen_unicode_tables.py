#!/usr/bin/env python3
"""Writes engine/platform/unicode_tables.inc: the case mapping and collation tables of the platform
layer, derived once from Python's Unicode database and then frozen in the source tree. The engine
never consults a run-time Unicode library, so the order of stored indexes cannot change under it.

Run: python3 scripts/gen_unicode_tables.py > engine/platform/unicode_tables.inc
"""
import sys
import unicodedata as ud

BMP = range(0x10000)

# ---- Case mapping (simple, one code unit to one code unit) -------------------------------------


def simple_upper(c):
    ch = chr(c)
    if 0x10D0 <= c <= 0x10FF:  # Georgian letters keep their form: modern text has no capitals
        return c
    up = ch.upper()
    if len(up) != 1:
        up = ch.title()  # Greek letters with iota subscript: the single-letter form
    if len(up) != 1 or ord(up) > 0xFFFF:
        return c
    return ord(up)


def simple_lower(c):
    if c == 0x0130:
        return 0x0069
    low = chr(c).lower()
    if len(low) != 1 or ord(low) > 0xFFFF:
        return c
    return ord(low)


def ranges(mapping):
    """Compresses {c: mapped} into runs (first, last, stride, delta)."""
    items = sorted((c, (m - c) & 0xFFFF) for c, m in mapping.items() if m != c)
    runs = []
    for c, delta in items:
        if runs:
            first, last, stride, d = runs[-1]
            if d == delta and ((stride == 0 and c - last in (1, 2)) or (stride and c - last == stride)):
                runs[-1] = (first, c, c - last, d)
                continue
        runs.append((c, c, 0, delta))
    return [(f, l, s or 1, d) for f, l, s, d in runs]


# ---- Collation ---------------------------------------------------------------------------------

PREFERRED_MARKS = [0x301, 0x300, 0x302, 0x308, 0x303, 0x30A, 0x327, 0x30C, 0x306, 0x304, 0x328, 0x307,
                   0x30B, 0x323, 0x309, 0x31B, 0x326]
GENERIC_MARK_BLOCKS = [(0x0300, 0x036F), (0x1AB0, 0x1AFF), (0x1DC0, 0x1DFF), (0x20D0, 0x20FF),
                       (0xFE20, 0xFE2F)]


def is_generic_mark(c):
    return any(a <= c <= b for a, b in GENERIC_MARK_BLOCKS) and ud.category(chr(c)).startswith('M')


# Letters that the name of which does not say how they sort.
SPECIAL_EXPANSIONS = {
    'AE': ('AE', 'LIGATURE'), 'OE': ('OE', 'LIGATURE'), 'SHARP S': ('SS', 'SHARP'),
    'DOTLESS I': ('I', 'DOTLESS'), 'DOTLESS J': ('J', 'DOTLESS'),
}
# Letters with their own place in the alphabet (handled at run time by their lower-case form).
OWN_PLACE = {0x00F0, 0x00D0, 0x0138, 0x014B, 0x014A, 0x00FE, 0x00DE}

# Scripts whose letters may be taken apart into a base letter and accents.
DECOMPOSED_RANGES = [(0x00A0, 0x03FF), (0x0401, 0x0401), (0x0451, 0x0451), (0x1D00, 0x1DBF),
                     (0x1E00, 0x1FFF), (0x2070, 0x209F), (0x2100, 0x218F), (0x2460, 0x24FF),
                     (0x2C60, 0x2C7F), (0xA720, 0xA7FF), (0xFB00, 0xFB06), (0xFF01, 0xFF5E)]

pseudo_marks = set()


def name_of(c):
    return ud.name(chr(c), '')


def parse_latin_name(c):
    """'LATIN SMALL LETTER D WITH STROKE' -> ('d', ['STROKE']); special expansions; or None."""
    name = name_of(c)
    for prefix in ('LATIN SMALL LETTER ', 'LATIN CAPITAL LETTER ', 'LATIN SMALL LIGATURE ',
                   'LATIN CAPITAL LIGATURE '):
        if name.startswith(prefix):
            rest = name[len(prefix):]
            small = 'SMALL' in prefix
            break
    else:
        return None
    base, _, modifiers = rest.partition(' WITH ')
    mods = [m for m in modifiers.split(' AND ')] if modifiers else []
    if base in SPECIAL_EXPANSIONS:
        letters, mark = SPECIAL_EXPANSIONS[base]
        mods = [mark] + mods
    elif len(base) == 1 and 'A' <= base <= 'Z':
        letters = base
    else:
        return None
    if not mods and len(letters) == 1:
        return None
    letters = letters.lower() if small else letters
    if small and base == 'SHARP S':
        letters = 'ss'
    return letters, mods


def expand(text, depth=0):
    """Returns [(base code, [marks])] for a decomposed text, or None if it is not made of letters."""
    elements = []
    for ch in text:
        c = ord(ch)
        if is_generic_mark(c):
            if not elements:
                return None
            elements[-1][1].append(c)
            continue
        cat = ud.category(ch)
        if not cat.startswith('L') and cat != 'Nl':
            return None
        sub = letter_elements(c, depth + 1) if depth < 4 else None
        if sub:
            elements.extend(sub)
        else:
            elements.append((c, []))
    return elements


def letter_elements(c, depth=0):
    ch = chr(c)
    if c in OWN_PLACE:
        return None
    nfd = ud.normalize('NFD', ch)
    if nfd != ch:
        return expand(nfd, depth)
    nfkd = ud.normalize('NFKD', ch)
    if nfkd != ch:
        elements = expand(nfkd, depth)
        if elements:
            elements[0][1].insert(0, 'VARIANT')
            pseudo_marks.add('VARIANT')
        return elements
    parsed = parse_latin_name(c)
    if parsed:
        letters, mods = parsed
        for m in mods:
            pseudo_marks.add(m)
        elements = [(ord(x), []) for x in letters]
        elements[0][1].extend(mods)
        return elements
    if c == 0x03C2:  # final sigma
        pseudo_marks.add('FINAL')
        return [(0x03C3, ['FINAL'])]
    return None


def in_decomposed_range(c):
    return any(a <= c <= b for a, b in DECOMPOSED_RANGES)


SYMBOL_VARIANTS = {0x00A0: ' ', 0x2007: ' ', 0x202F: ' ', 0x2018: "'", 0x2019: "'", 0x201A: "'",
                   0x201B: "'", 0x2032: "'", 0x02BC: "'", 0x201C: '"', 0x201D: '"', 0x201E: '"',
                   0x201F: '"', 0x2033: '"', 0x2010: '-', 0x2011: '-', 0x2012: '-', 0x2013: '-',
                   0x2014: '-', 0x2015: '-', 0x2212: '-', 0x2039: '<', 0x203A: '>'}

# Classes of code units without an entry.
LETTER, SYMBOL, CONTROL, IGNORABLE = 0, 1, 2, 3


def default_class(c):
    if 0xD800 <= c <= 0xDFFF:
        return LETTER  # surrogate halves order supplementary characters by code unit
    cat = ud.category(chr(c))
    if c in (0x09, 0x0A, 0x0B, 0x0C, 0x0D):
        return SYMBOL
    if cat == 'Cc':
        return CONTROL
    if cat == 'Cf' or is_generic_mark(c):
        return IGNORABLE
    if cat[0] in 'PSZ' or cat == 'No':
        return SYMBOL
    return LETTER


def main():
    out = sys.stdout
    out.write('// Generated by scripts/gen_unicode_tables.py from Unicode %s. Do not edit.\n'
              '// Changing these tables changes the order of stored indexes.\n\n' % ud.unidata_version)

    upper = {c: simple_upper(c) for c in BMP if not 0xD800 <= c <= 0xDFFF}
    lower = {c: simple_lower(c) for c in BMP if not 0xD800 <= c <= 0xDFFF}
    for title, mapping in (('kToUpperRuns', upper), ('kToLowerRuns', lower)):
        runs = ranges(mapping)
        out.write('constexpr CaseRun %s[] = {\n' % title)
        for f, l, s, d in runs:
            out.write('    {0x%04X, 0x%04X, %d, 0x%04X},\n' % (f, l, s, d))
        out.write('};\n\n')

    # Collation entries.
    entries = []
    for c in BMP:
        if 0xD800 <= c <= 0xDFFF:
            continue
        ch = chr(c)
        cat = ud.category(ch)
        if cat == 'Nd' or (cat == 'No' and len(ud.normalize('NFKD', ch)) == 1
                           and ud.category(ud.normalize('NFKD', ch)) == 'Nd'):
            value = ud.digit(ud.normalize('NFKD', ch))
            marks = [] if 0x30 <= c <= 0x39 else ['VARIANT']
            pseudo_marks.add('VARIANT')
            entries.append((c, 'kDigit', [(value, marks)]))
            continue
        if c in SYMBOL_VARIANTS or (cat[0] in 'PSZ' and c >= 0x80 and len(ud.normalize('NFKD', ch)) == 1
                                    and ord(ud.normalize('NFKD', ch)) < 0x7F
                                    and default_class(ord(ud.normalize('NFKD', ch))) == SYMBOL):
            base = SYMBOL_VARIANTS.get(c) or ud.normalize('NFKD', ch)
            entries.append((c, 'kSymbol', [(ord(base), ['VARIANT'])]))
            pseudo_marks.add('VARIANT')
            continue
        if is_generic_mark(c):
            entries.append((c, 'kMark', [(0, [c])]))
            continue
        if (cat.startswith('L') or cat == 'Nl') and in_decomposed_range(c):
            elements = letter_elements(c)
            if elements and len(elements) <= 3 and all(b <= 0xFFFF for b, _ in elements):
                entries.append((c, 'kLetter', elements))

    generic_marks = sorted(c for c in BMP if is_generic_mark(c) and c not in PREFERRED_MARKS)
    in_block = [c for c in generic_marks if c <= 0x036F]
    rank = {}
    for c in PREFERRED_MARKS + in_block:
        rank[c] = len(rank) + 1
    for name in sorted(pseudo_marks - {'VARIANT'}):
        rank[name] = len(rank) + 1
    rank['VARIANT'] = len(rank) + 1
    other_mark_rank = len(rank) + 1
    assert other_mark_rank < 255, other_mark_rank

    def key(marks):
        ranks = [rank.get(m, other_mark_rank) for m in marks][:4]
        value = 0
        for i, r in enumerate(ranks):
            value |= r << (24 - 8 * i)
        return value

    out.write('constexpr uint32_t kOtherMarkKey = 0x%08X;  // marks outside the ranked ones\n'
              % (other_mark_rank << 24))
    out.write('constexpr uint32_t kIgnorableKey = 0x%08X;  // format characters\n\n' % (255 << 24))

    classes = [default_class(c) for c in BMP]
    runs = []
    for c in BMP:
        if not runs or runs[-1][1] != classes[c]:
            runs.append((c, classes[c]))
    out.write('constexpr ClassRun kClassRuns[] = {\n')
    for start, cls in runs:
        out.write('    {0x%04X, %d},\n' % (start, cls))
    out.write('};\n\n')

    out.write('constexpr CollationEntry kCollationEntries[] = {\n')
    for c, kind, elements in entries:
        bases = [b for b, _ in elements] + [0] * (3 - len(elements))
        keys = [key(m) for _, m in elements] + [0] * (3 - len(elements))
        out.write('    {0x%04X, %s, %d, {0x%04X, 0x%04X, 0x%04X}, {0x%08X, 0x%08X, 0x%08X}},\n'
                  % (c, kind, len(elements), *bases, *keys))
    out.write('};\n')
    sys.stderr.write('%d case runs, %d class runs, %d entries, %d ranks\n'
                     % (len(ranges(upper)) + len(ranges(lower)), len(runs), len(entries), other_mark_rank))


main()
