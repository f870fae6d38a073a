// Builds an fst::Set from the same encoded keys as the word-form library (one byte per
// Russian letter, 33 + its index, ё last), then times membership and fuzzy search over the
// query files that wordforms_bench wrote. The Debian crate (0.3) has no Levenshtein
// automaton, so the search uses the same capped edit-distance rows as our library,
// expressed as an fst::Automaton.
use fst::{Automaton, IntoStreamer, Set, SetBuilder, Streamer};
use std::env;
use std::fs;
use std::time::Instant;

const LETTERS: &str = "абвгдежзийклмнопрстуфхцчшщъыьэюяё";
const MAX_KEY: usize = 64;

struct Alphabet {
    letters: Vec<char>,
}

impl Alphabet {
    fn new() -> Self {
        Alphabet { letters: LETTERS.chars().collect() }
    }
    fn encode(&self, word: &str) -> Option<Vec<u8>> {
        if word.is_empty() {
            return None;
        }
        let mut key = Vec::with_capacity(word.len());
        for c in word.chars() {
            let lower = c.to_lowercase().next().unwrap_or(c);
            let i = self.letters.iter().position(|&l| l == lower)?;
            key.push(33 + i as u8);
        }
        Some(key)
    }
    fn decode_into(&self, key: &[u8], out: &mut String) {
        for &b in key {
            if b > 32 && ((b - 33) as usize) < self.letters.len() {
                out.push(self.letters[(b - 33) as usize]);
            }
        }
    }
}

#[derive(Clone)]
struct Row {
    cells: [u8; MAX_KEY + 1],
    live: bool,
}

struct Lev<'a> {
    key: &'a [u8],
    k: u8,
}

impl<'a> Automaton for Lev<'a> {
    type State = Row;
    fn start(&self) -> Row {
        let mut cells = [0u8; MAX_KEY + 1];
        for j in 0..=self.key.len() {
            cells[j] = std::cmp::min(j as u8, self.k + 1);
        }
        Row { cells, live: true }
    }
    fn is_match(&self, s: &Row) -> bool {
        s.live && s.cells[self.key.len()] <= self.k
    }
    fn can_match(&self, s: &Row) -> bool {
        s.live
    }
    fn accept(&self, s: &Row, byte: u8) -> Row {
        let cap = self.k + 1;
        let mut next = [0u8; MAX_KEY + 1];
        next[0] = std::cmp::min(s.cells[0] + 1, cap);
        let mut least = next[0];
        for j in 1..=self.key.len() {
            let mut best = s.cells[j - 1] + (self.key[j - 1] != byte) as u8;
            best = best.min(s.cells[j] + 1).min(next[j - 1] + 1);
            next[j] = best.min(cap);
            least = least.min(next[j]);
        }
        Row { cells: next, live: s.live && least <= self.k }
    }
}

fn lines(path: &str) -> Vec<String> {
    fs::read_to_string(path)
        .unwrap_or_else(|e| panic!("{}: {}", path, e))
        .lines()
        .filter(|l| !l.is_empty())
        .map(|l| l.to_string())
        .collect()
}

fn main() {
    let args: Vec<String> = env::args().collect();
    if args.len() != 3 {
        eprintln!("usage: fst-anchor WORD_LIST QUERY_DIR");
        std::process::exit(2);
    }
    let alphabet = Alphabet::new();
    let started = Instant::now();
    let mut keys: Vec<Vec<u8>> = lines(&args[1]).iter().filter_map(|w| alphabet.encode(w)).collect();
    keys.sort();
    keys.dedup();
    let mut builder = SetBuilder::memory();
    for k in &keys {
        builder.insert(k).unwrap();
    }
    let bytes = builder.into_inner().unwrap();
    let build = started.elapsed().as_secs_f64();
    let size = bytes.len();
    let set = Set::from_bytes(bytes).unwrap();
    println!("fst 0.3: {} forms, {} bytes, built in {:.3} s", set.len(), size, build);

    let contains = lines(&format!("{}/contains.txt", args[2]));
    let fuzzy = lines(&format!("{}/fuzzy.txt", args[2]));

    let rounds = 100;
    let mut found = 0usize;
    let t = Instant::now();
    for _ in 0..rounds {
        for q in &contains {
            if let Some(k) = alphabet.encode(q) {
                found += set.contains(&k) as usize;
            }
        }
    }
    let ns = t.elapsed().as_nanos() as f64 / (rounds * contains.len()) as f64;
    println!("fst 0.3: contains {:.0} ns ({} found)", ns, found / rounds);

    for &k in &[1u8, 2u8] {
        let rounds = if k == 1 { 20 } else { 3 };
        let mut matches = 0usize;
        let mut text = String::with_capacity(1 << 16);
        let t = Instant::now();
        for _ in 0..rounds {
            for q in &fuzzy {
                let key = match alphabet.encode(q) {
                    Some(key) if key.len() <= MAX_KEY => key,
                    _ => continue,
                };
                text.clear();
                let mut stream = set.search(Lev { key: &key, k }).into_stream();
                while let Some(found) = stream.next() {
                    if matches > 0 {
                        text.push('\n');
                    }
                    alphabet.decode_into(found, &mut text);
                    matches += 1;
                }
            }
        }
        let us = t.elapsed().as_secs_f64() * 1e6 / (rounds * fuzzy.len()) as f64;
        println!(
            "fst 0.3: fuzzy/{} {:.1} us ({:.2} matches per query)",
            k,
            us,
            matches as f64 / (rounds * fuzzy.len()) as f64
        );
    }
}
