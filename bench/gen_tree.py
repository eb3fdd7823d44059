#!/usr/bin/env python3
"""Generate a realistic video content tree for the Cuecarry benchmark.

The tree is written to OUT/VOD (flat layout) or OUT/Zelvora (nested layout):

  flat    VOD/<content folder>/<caption files, videos, PDFs>
  nested  Zelvora/<content folder>/<segment folder>/<caption files, videos, PDFs>

Caption files are real-looking WebVTT (header, optional NOTE block, cue
identifiers on some, timings, one or two short lines per cue), each between
--min-kb and --max-kb in size. Beside them lie non-caption files (video
placeholders, PDFs) that must not be copied, and a few "decoy" caption files in
places a copy must skip (the source root, a content folder's subfolder in the
flat layout, a content folder itself in the nested layout).

Everything is deterministic for a given seed and set of sizes.

Beside the tree the generator writes:
  OUT/<Layout>.manifest.json  parameters and counts
  OUT/<Layout>.captions       NUL-separated list of the caption files that a
                              correct copy takes, relative to the source root

Standard library only. Example:
  python3 bench/gen_tree.py /tmp/trees --layout zelvora --preset small
"""

import argparse
import bisect
import json
import os
import random
import shutil
import sys
import time

GENERATOR_VERSION = 1

# Caption files per preset: small 2,400, medium 24,000, large 240,000.
# The tree grows by its number of content folders; the folders themselves keep
# their size, so the largest single directory stays small except the root.
PRESETS = {
    "small": {
        "vod": {"contents": 120, "segments": 0, "captions": 20},
        "zelvora": {"contents": 40, "segments": 6, "captions": 10},
    },
    "medium": {
        "vod": {"contents": 1200, "segments": 0, "captions": 20},
        "zelvora": {"contents": 400, "segments": 6, "captions": 10},
    },
    "large": {
        "vod": {"contents": 12000, "segments": 0, "captions": 20},
        "zelvora": {"contents": 4000, "segments": 6, "captions": 10},
    },
    # One content folder against the same captions split over content
    # folders of 100 each; these grow inside a folder, flat layout only.
    "one-10k": {"vod": {"contents": 1, "segments": 0, "captions": 10000}},
    "split-10k": {"vod": {"contents": 100, "segments": 0, "captions": 100}},
    "one-100k": {"vod": {"contents": 1, "segments": 0, "captions": 100000}},
    "split-100k": {"vod": {"contents": 1000, "segments": 0, "captions": 100}},
}

LAYOUT_ROOT = {"vod": "VOD", "zelvora": "Zelvora"}

SUBJECTS = [
    ("BIO", ["Cell Biology", "Genetics", "Ecology", "Microbiology"]),
    ("CHE", ["General Chemistry", "Organic Chemistry", "Chemical Kinetics"]),
    ("PHY", ["Mechanics", "Electromagnetism", "Thermodynamics", "Optics"]),
    ("MAT", ["Calculus", "Linear Algebra", "Probability", "Number Theory"]),
    ("HIS", ["Ancient History", "Modern Europe", "World History"]),
    ("ECO", ["Microeconomics", "Macroeconomics", "Public Finance"]),
    ("CSC", ["Algorithms", "Operating Systems", "Databases", "Networks"]),
    ("LIT", ["Poetry", "The Novel", "Drama", "Literary Theory"]),
    ("PSY", ["Cognitive Psychology", "Social Psychology", "Development"]),
    ("ART", ["Art History", "Drawing", "Colour Theory"]),
    ("MUS", ["Music Theory", "Harmony", "Composition"]),
    ("GEO", ["Physical Geography", "Cartography", "Urban Geography"]),
    ("LAW", ["Contract Law", "Constitutional Law", "Torts"]),
    ("MED", ["Anatomy", "Physiology", "Pharmacology"]),
    ("PHI", ["Ethics", "Logic", "Philosophy of Mind"]),
    ("SOC", ["Sociology", "Research Methods", "Social Theory"]),
    ("ENG", ["Statics", "Circuits", "Materials Science"]),
    ("LAN", ["Academic Writing", "Spanish", "German"]),
    ("STA", ["Statistics", "Regression", "Bayesian Methods"]),
    ("AST", ["Astronomy", "Planetary Science", "Cosmology"]),
]

TOPICS = [
    "introduction", "key-concepts", "worked-example", "case-study", "recap",
    "problem-set", "lab-walkthrough", "guest-lecture", "review", "summary",
    "deep-dive", "common-mistakes", "exam-preparation", "discussion",
    "demonstration", "historical-background", "applications", "q-and-a",
]

TOPIC_WORDS = [
    "energy", "equilibrium", "the cell membrane", "supply and demand",
    "the derivative", "recursion", "a matrix", "the central limit theorem",
    "entropy", "natural selection", "the sonnet", "a contract", "the heart",
    "momentum", "probability", "memory", "a hash table", "the Renaissance",
    "light", "the normal distribution", "interest rates", "an electric field",
]

EN_SENTENCES = [
    "Welcome back, everyone.",
    "Today we are going to look at {t}.",
    "Let's start with a quick recap of last week.",
    "If you remember, we ended with a question about {t}.",
    "So what exactly do we mean by {t}?",
    "Here is the definition you will find in most textbooks.",
    "I want you to notice one thing on this slide.",
    "This is the part that students usually find tricky.",
    "Let me write that down so we can refer back to it.",
    "Now, why does this matter in practice?",
    "Think of {t} as a kind of balance between two forces.",
    "We can check this with a small example.",
    "Take a minute and try it yourself before I show the answer.",
    "Okay, let's see what you got.",
    "Notice that the result does not depend on the starting point.",
    "That is a really important observation.",
    "There is a common mistake here, so be careful.",
    "We will come back to {t} in the problem set.",
    "The reading for this week goes into more detail.",
    "Any questions so far?",
    "Good question. The short answer is yes, with one exception.",
    "Let's move on to the next example.",
    "Here the numbers are a bit larger, but the idea is the same.",
    "So, to summarise: {t} links the two ideas we saw today.",
    "In the next video we will apply this to a real data set.",
    "Thanks for watching, and see you next time.",
]
EN_SOUNDS = ["[laughter]", "[music]", "[students talking]", "[pause]", "[applause]"]
EN_VOICES = ["Instructor", "Dr. Okafor", "Prof. Lindqvist", "Student"]

DE_SENTENCES = [
    "Willkommen zurück.",
    "Heute sehen wir uns ein neues Thema an.",
    "Zuerst eine kurze Wiederholung der letzten Woche.",
    "Was genau meinen wir mit diesem Begriff?",
    "Das ist der Teil, der oft Schwierigkeiten macht.",
    "Schauen wir uns ein kleines Beispiel an.",
    "Versuchen Sie es zuerst selbst.",
    "Achten Sie auf diesen Schritt hier.",
    "Das Ergebnis hängt nicht vom Startpunkt ab.",
    "Gibt es bis hierhin Fragen?",
    "In der Übung kommen wir darauf zurück.",
    "Im nächsten Video wenden wir das an.",
    "Danke fürs Zuschauen, bis zum nächsten Mal.",
]
ES_SENTENCES = [
    "Bienvenidos de nuevo.",
    "Hoy vamos a ver un tema nuevo.",
    "Empecemos con un breve repaso de la semana pasada.",
    "¿Qué queremos decir exactamente con este concepto?",
    "Esta es la parte que suele costar más.",
    "Veamos un ejemplo pequeño.",
    "Inténtenlo ustedes primero.",
    "Fíjense en este paso.",
    "El resultado no depende del punto de partida.",
    "¿Alguna pregunta hasta aquí?",
    "Volveremos a esto en los ejercicios.",
    "En el próximo vídeo lo aplicaremos.",
    "Gracias por mirar, hasta la próxima.",
]
FR_SENTENCES = [
    "Bon retour à tous.",
    "Aujourd'hui, nous abordons un nouveau sujet.",
    "Commençons par un bref rappel de la semaine dernière.",
    "Que voulons-nous dire exactement par ce terme ?",
    "C'est la partie qui pose souvent problème.",
    "Regardons un petit exemple.",
    "Essayez d'abord par vous-mêmes.",
    "Faites attention à cette étape.",
    "Le résultat ne dépend pas du point de départ.",
    "Des questions jusqu'ici ?",
    "Nous y reviendrons dans les exercices.",
    "Dans la prochaine vidéo, nous l'appliquerons.",
    "Merci de votre attention, à la prochaine.",
]
LANG_SENTENCES = {"en": EN_SENTENCES, "de": DE_SENTENCES, "es": ES_SENTENCES,
                  "fr": FR_SENTENCES}
SECOND_LANGS = ["en", "de", "es", "fr"]
MASTERS_PER_LANG = 6


def short_name(name):
    """Destination folder name of a content folder (UTF-16 code units; the
    generator only makes BMP names, so Python's len() agrees)."""
    if len(name) < 5:
        return name + "_" + name
    return name[:3] + "_" + name[-2:]


def destination_of(relpath):
    """Destination path (relative to the destination root) of a caption file
    given relative to the source root: short/base/video/vtt/F."""
    parts = relpath.split("/")
    content, fname = parts[0], parts[-1]
    dot = fname.rfind(".")
    base = fname[:dot] if dot >= 0 else fname
    return "/".join([short_name(content), base, "video", "vtt", fname])


def _timestamp(ms):
    h, rem = divmod(ms, 3600000)
    m, rem = divmod(rem, 60000)
    s, ms = divmod(rem, 1000)
    return "%02d:%02d:%02d.%03d" % (h, m, s, ms)


def _wrap(text, width=42):
    lines, cur = [], ""
    for word in text.split():
        if cur and len(cur) + 1 + len(word) > width:
            lines.append(cur)
            cur = word
        else:
            cur = word if not cur else cur + " " + word
    if cur:
        lines.append(cur)
    return lines


def _make_master(rng, lang, min_len):
    """One long caption body (cues only), as bytes, and the byte offsets at
    which each cue ends. A file takes a prefix of it, cut at a cue boundary."""
    sentences = LANG_SENTENCES[lang]
    with_ids = rng.random() < 0.5
    with_voices = lang == "en" and rng.random() < 0.3
    with_settings = rng.random() < 0.25
    parts, ends, size = [], [], 0
    t, n, last = rng.randint(0, 1500), 0, None
    while size < min_len:
        sentence = rng.choice(sentences)
        if sentence == last:
            continue
        last = sentence
        if "{t}" in sentence:
            sentence = sentence.format(t=rng.choice(TOPIC_WORDS))
        if lang == "en" and rng.random() < 0.04:
            sentence = rng.choice(EN_SOUNDS)
        if with_voices and not sentence.startswith("["):
            sentence = "<v %s>%s" % (rng.choice(EN_VOICES), sentence)
        lines = _wrap(sentence)
        for i in range(0, len(lines), 2):
            n += 1
            dur = rng.randint(1200, 5500)
            block = []
            if with_ids:
                block.append(str(n))
            timing = _timestamp(t) + " --> " + _timestamp(t + dur)
            if with_settings and rng.random() < 0.15:
                timing += " line:10% align:center"
            block.append(timing)
            block.extend(lines[i:i + 2])
            chunk = ("\n".join(block) + "\n\n").encode("utf-8")
            parts.append(chunk)
            size += len(chunk)
            ends.append(size)
            t += dur + rng.choice((0, 0, 120, 250, 400, 800))
    return b"".join(parts), ends


class _Masters:
    def __init__(self, seed, max_bytes):
        rng = random.Random("masters-%d" % seed)
        self.by_lang = {}
        for lang in SECOND_LANGS:
            self.by_lang[lang] = [_make_master(rng, lang, max_bytes + 2048)
                                  for _ in range(MASTERS_PER_LANG)]


def _caption_bytes(rng, masters, lang, note, min_bytes, max_bytes):
    header = "WEBVTT\n"
    if rng.random() < 0.5:
        header += "Kind: captions\nLanguage: %s\n" % lang
    header += "\n"
    if note:
        header += note
    head = header.encode("utf-8")
    body, ends = rng.choice(masters.by_lang[lang])
    target = rng.randint(min_bytes + 256, max_bytes) - len(head)
    k = bisect.bisect_right(ends, target)
    cut = ends[k - 1] if k > 0 else ends[0]
    return head + body[:cut]


def _content_names(count):
    """Content folder names with distinct short names: a 3-letter subject code
    (first 3 characters) and a 2-digit section number (last 2)."""
    codes = [s[0] for s in SUBJECTS]
    titles = {s[0]: s[1] for s in SUBJECTS}
    taken = set(codes)
    letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ"
    extra = (a + b + c for a in letters for b in letters for c in letters)
    names = []
    for i in range(count):
        ci, sec = divmod(i, 100)
        while ci >= len(codes):
            code = next(extra)
            if code not in taken:
                taken.add(code)
                codes.append(code)
                titles[code] = ["Elective Studies", "Special Topics"]
        code = codes[ci]
        t = titles[code]
        names.append("%s %s %02d" % (code, t[sec % len(t)], sec))
    return names


def _write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def _placeholder(kind, what, size):
    if kind == "pdf":
        text = ("%%PDF-1.4\n%% Placeholder for %s (not a real PDF).\n"
                "%% Not a caption file: a copy must leave it behind.\n" % what)
    else:
        text = ("Placeholder for the video of %s (not a real MP4).\n"
                "Not a caption file: a copy must leave it behind.\n" % what)
    data = text.encode("utf-8")
    if len(data) < size:
        data += b"." * (size - len(data) - 1) + b"\n"
    return data


def generate(out, layout, contents, segments, captions, others=None,
             min_kb=2, max_kb=40, seed=1, decoys=True, video_bytes=512,
             force=False, quiet=False):
    """Write the tree and its manifest; return the manifest (a dict)."""
    layout = layout.lower()
    if layout not in LAYOUT_ROOT:
        raise ValueError("layout must be vod or zelvora")
    if layout == "zelvora" and segments < 1:
        raise ValueError("the nested layout needs at least one segment folder")
    if layout == "vod":
        segments = 0
    min_bytes, max_bytes = int(min_kb * 1024), int(max_kb * 1024)
    if not 512 <= min_bytes < max_bytes:
        raise ValueError("need 0.5 <= --min-kb < --max-kb")
    lectures = (captions + 1) // 2
    if others is None:
        others = lectures + 1  # one video per lecture and one PDF
    root_name = LAYOUT_ROOT[layout]
    root = os.path.join(out, root_name)
    if os.path.lexists(root):
        if not force:
            raise FileExistsError("%s exists (use --force to replace it)" % root)
        shutil.rmtree(root)
    os.makedirs(root)
    started = time.monotonic()
    masters = _Masters(seed, max_bytes)
    rng = random.Random(seed * 7919 + (1 if layout == "vod" else 2))

    caption_list = []
    n_caps = n_others = n_decoys = n_dirs = 0
    cap_bytes = 0
    largest = contents

    def fill_folder(folder, rel, seg_index, content_name):
        nonlocal n_caps, n_others, cap_bytes, largest
        largest = max(largest, captions + others)
        prefix = "" if seg_index is None else "%02d-" % (seg_index + 1)
        stems = []
        for lec in range(lectures):
            topic = TOPICS[(lec + (seg_index or 0) * 3) % len(TOPICS)]
            stems.append("%s%02d-%s" % (prefix, lec + 1, topic))
        for j in range(captions):
            stem = stems[j // 2]
            if j % 2 == 0:
                lang, fname = "en", stem
            else:
                lang = SECOND_LANGS[1 + (j // 2 + len(stem)) % 3]
                fname = stem + "." + lang
            ext = ".VTT" if rng.random() < 0.02 else ".vtt"
            fname += ext
            note = ""
            if rng.random() < 0.3:
                note = ("NOTE\nCaptions for %s, %s.\nReviewed for reading "
                        "speed and line length.\n\n" % (content_name, stem))
            data = _caption_bytes(rng, masters, lang, note, min_bytes, max_bytes)
            _write(os.path.join(folder, fname), data)
            caption_list.append(rel + "/" + fname)
            n_caps += 1
            cap_bytes += len(data)
        for k in range(others):
            if k < lectures:
                what = "%s, %s" % (content_name, stems[k])
                _write(os.path.join(folder, stems[k] + ".mp4"),
                       _placeholder("mp4", what, video_bytes))
            else:
                pdf = "slides.pdf" if k == lectures else "handout-%d.pdf" % (k - lectures)
                _write(os.path.join(folder, pdf),
                       _placeholder("pdf", content_name, 0))
            n_others += 1

    decoy_text = ("WEBVTT\n\nNOTE\nDecoy: this caption file lies where the "
                  "copy must not look.\n\n00:00:00.000 --> 00:00:02.000\n"
                  "This file must not be copied.\n").encode("utf-8")
    if decoys:
        _write(os.path.join(root, "catalogue.vtt"), decoy_text)
        _write(os.path.join(root, "README.txt"),
               b"Generated benchmark tree. Files in this folder are not copied.\n")
        n_decoys += 1
        n_others += 1
        largest = contents + 2

    for ci, cname in enumerate(_content_names(contents)):
        cdir = os.path.join(root, cname)
        os.mkdir(cdir)
        n_dirs += 1
        if layout == "vod":
            fill_folder(cdir, cname, None, cname)
            if decoys and ci % 50 == 0:
                os.mkdir(os.path.join(cdir, "extra"))
                n_dirs += 1
                _write(os.path.join(cdir, "extra", "outtakes.vtt"), decoy_text)
                n_decoys += 1
        else:
            for si in range(segments):
                sdir = os.path.join(cdir, "Week%02d" % (si + 1))
                os.mkdir(sdir)
                n_dirs += 1
                fill_folder(sdir, cname + "/Week%02d" % (si + 1), si, cname)
            if decoys and ci % 50 == 0:
                _write(os.path.join(cdir, "overview.vtt"), decoy_text)
                n_decoys += 1
        if not quiet and ci and ci % 500 == 0:
            print("  %d/%d content folders" % (ci, contents), file=sys.stderr)

    with open(os.path.join(out, root_name + ".captions"), "wb") as f:
        f.write(b"".join(p.encode("utf-8") + b"\0" for p in caption_list))
    manifest = {
        "generator_version": GENERATOR_VERSION,
        "layout": layout,
        "root": root_name,
        "params": {"contents": contents, "segments": segments,
                   "captions": captions, "others": others, "min_kb": min_kb,
                   "max_kb": max_kb, "seed": seed, "decoys": decoys,
                   "video_bytes": video_bytes},
        "caption_files": n_caps,
        "caption_bytes": cap_bytes,
        "other_files": n_others,
        "decoy_caption_files": n_decoys,
        "folders": n_dirs,
        "largest_dir_entries": largest,
        "seconds": round(time.monotonic() - started, 2),
    }
    with open(os.path.join(out, root_name + ".manifest.json"), "w") as f:
        json.dump(manifest, f, indent=2)
        f.write("\n")
    return manifest


def main(argv=None):
    ap = argparse.ArgumentParser(
        description="Generate a video content tree (flat VOD or nested Zelvora "
                    "layout) of real-looking WebVTT caption files for the "
                    "Cuecarry benchmark.")
    ap.add_argument("out", help="folder to write into; the tree becomes OUT/VOD "
                                "or OUT/Zelvora")
    ap.add_argument("--layout", choices=["vod", "zelvora"], required=True)
    ap.add_argument("--preset", choices=sorted(PRESETS),
                    help="small: 2,400, medium: 24,000, large: 240,000 caption "
                         "files; one-10k, one-100k: that many in one content "
                         "folder, split-10k, split-100k: the same in content "
                         "folders of 100 (flat layout only); explicit size "
                         "options override it")
    ap.add_argument("--contents", type=int, help="content folders")
    ap.add_argument("--segments", type=int,
                    help="segment folders per content folder (nested layout)")
    ap.add_argument("--captions", type=int, help="caption files per folder that "
                    "holds captions (content folder when flat, segment folder "
                    "when nested)")
    ap.add_argument("--others", type=int, help="non-caption files per such "
                    "folder (default: one video placeholder per lecture, i.e. "
                    "per two caption files, plus one PDF)")
    ap.add_argument("--min-kb", type=float, default=2.0)
    ap.add_argument("--max-kb", type=float, default=40.0)
    ap.add_argument("--video-bytes", type=int, default=512,
                    help="size of each video placeholder")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--no-decoys", action="store_true",
                    help="leave out the caption files placed where a copy must "
                         "not look")
    ap.add_argument("--force", action="store_true",
                    help="replace an existing tree")
    a = ap.parse_args(argv)
    if a.layout not in PRESETS[a.preset or "small"]:
        ap.error("preset %s is of the flat layout (vod) only" % a.preset)
    size = dict(PRESETS[a.preset or "small"][a.layout])
    for key in ("contents", "segments", "captions"):
        if getattr(a, key) is not None:
            size[key] = getattr(a, key)
    if a.preset is None and a.contents is None:
        ap.error("give --preset or --contents")
    os.makedirs(a.out, exist_ok=True)
    try:
        m = generate(a.out, a.layout, size["contents"], size["segments"],
                     size["captions"], a.others, a.min_kb, a.max_kb, a.seed,
                     not a.no_decoys, a.video_bytes, a.force)
    except (ValueError, FileExistsError) as e:
        ap.error(str(e))
    print("%s: %d caption files (%.1f MB), %d other files, %d decoy caption "
          "files, %d folders, largest folder %d entries, %.1f s"
          % (os.path.join(a.out, m["root"]), m["caption_files"],
             m["caption_bytes"] / 1e6, m["other_files"],
             m["decoy_caption_files"], m["folders"], m["largest_dir_entries"],
             m["seconds"]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
