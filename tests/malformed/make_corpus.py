#!/usr/bin/env python3
"""Writes the corpus of malformed package tables and the host tables they are merged into.

Usage: make_corpus.py --pdxtool PATH OUT

Every table starts as a valid one that `pdxtool create` writes; the malformed ones are then
attacked byte by byte (a header field set, a block link bent, a file cut or removed). OUT then
holds:

  hosts/<variant>/Matemática.db, MatemáticaF.db   valid host tables (with .px and .mb)
  <case>/Mat.db or <case>/MatF.db                  one package table per case (its .px/.mb)
  manifest.tsv                                     one line per case, tab-separated:
      file         the package table, relative to OUT
      expected     a text the merge's error message must contain
      host         the host table it is merged into, relative to OUT
      names_table  "yes" when the message names the package table's file (the engine's own
                   errors); "no" for the table interface's fixed texts (field not found, list
                   index, invalid value), which name the field or position instead

A question table (Mat.db) is merged into Matemática.db, a figure table (MatF.db) into
MatemáticaF.db, as the installer does for the subject Matemática. Python 3 standard library
only; the output is the same on every run.
"""

import argparse
import os
import shutil
import struct
import subprocess
import sys

# ---- The valid tables ----------------------------------------------------------------------

QUESTION_FIELDS = [
    ("+", "Codigo"),
    ("I", "NumeroReal"),
    ("M30", "Enunciado"),
    ("A255", "Alternativa"),
    ("A1", "Resposta"),
    ("S", "Nivel"),
    ("A30", "Figura"),
]
FIGURE_FIELDS = [("A40", "Nome"), ("G10", "Figura")]

# Package questions: 8 records over three 1 KiB blocks (three 326-byte records a block). The
# first record's statement takes a slot of a suballocated blob block, the second's a block of
# its own; the third has an alternative 60 characters long.
PACKAGE_QUESTIONS = [
    (101, "Quanto vale a soma dos ângulos internos de um triângulo? " * 5, "180 graus", "A", 1),
    (102, "Enunciado longo. " * 300, "Nenhuma", "B", 2),
    (103, "Qual é a raiz quadrada de 144?", "Doze, pois 12 vezes 12 é 144, e nenhum outro positivo", "C", 1),
    (104, "Resolva 2x + 3 = 11.", "x = 4", "D", 2),
    (105, "Quanto é 7 × 8?", "56", "A", 1),
    (106, "Um quadrado tem lado 5. Qual é a sua área?", "25", "B", 1),
    (107, "Qual é o próximo primo depois de 13?", "17", "C", 3),
    (108, "Quanto é 10% de 250?", "25", "D", 2),
]
# Host questions: 102 and 104 are updated by the package, the others stay as they are.
HOST_QUESTIONS = [
    (100, "Questão antiga do hospedeiro", "velha", "A", 1),
    (102, "Versão anterior da questão 102", "antiga", "E", 5),
    (104, "Versão anterior da questão 104", "antiga", "E", 5),
    (200, "Outra questão do hospedeiro", "fica", "B", 2),
]
# Figures: (name, picture size, byte). 300 bytes take a slot, 6000 a block of their own.
PACKAGE_FIGURES = [("fig_a", 300, 0x41), ("fig_b", 6000, 0x42), ("fig_c", 40, 0x43)]
HOST_FIGURES = [("fig_a", 120, 0x61), ("fig_z", 500, 0x7A)]

PACKAGE_Q = "Mat.db"
PACKAGE_F = "MatF.db"
HOST_Q = "Matemática.db"
HOST_F = "MatemáticaF.db"


def schema_text(fields, block, key=1, password=None):
    lines = ["level 7", "block %d" % block, "codepage 1252", "key %d" % key]
    if password:
        lines.append("password " + password)
    lines += ["field %s %s" % f for f in fields]
    return "\n".join(lines) + "\n"


def question_tsv(rows, alternative_width=255):
    out = ["NumeroReal\tEnunciado\tAlternativa\tResposta\tNivel"]
    for numero, enunciado, alternativa, resposta, nivel in rows:
        out.append("%d\t%s\t%s\t%s\t%d" % (numero, enunciado, alternativa[:alternative_width],
                                           resposta, nivel))
    return "\n".join(out) + "\n"


def figure_tsv(rows, folder):
    out = ["Nome\tFigura"]
    for name, size, byte in rows:
        picture = name + ".bin"
        with open(os.path.join(folder, picture), "wb") as f:
            f.write(bytes([byte]) * size)
        out.append("%s\t@%s" % (name, picture))
    return "\n".join(out) + "\n"


class Maker:
    """Makes valid tables with pdxtool in a scratch folder."""

    def __init__(self, pdxtool, scratch):
        self.pdxtool = pdxtool
        self.scratch = scratch
        self.count = 0

    def create(self, folder, name, schema, tsv):
        os.makedirs(folder, exist_ok=True)
        self.count += 1
        base = os.path.join(self.scratch, "t%d" % self.count)
        os.makedirs(base, exist_ok=True)
        with open(base + "/schema.txt", "w", encoding="utf-8") as f:
            f.write(schema)
        data = tsv(base) if callable(tsv) else tsv
        with open(base + "/data.tsv", "w", encoding="utf-8") as f:
            f.write(data)
        path = os.path.join(folder, name)
        result = subprocess.run([self.pdxtool, "create", path, base + "/schema.txt",
                                 base + "/data.tsv"], capture_output=True, text=True)
        if result.returncode != 0:
            sys.exit("make_corpus: pdxtool create %s failed: %s%s" %
                     (path, result.stdout, result.stderr))
        return path


# ---- Reading and bending the format ----------------------------------------------------------

def u16(b, at):
    return struct.unpack_from("<H", b, at)[0]


def set_u8(b, at, v):
    b[at] = v & 0xFF


def set_u16(b, at, v):
    struct.pack_into("<H", b, at, v & 0xFFFF)


def set_u32(b, at, v):
    struct.pack_into("<I", b, at, v & 0xFFFFFFFF)


H_RECORD_SIZE, H_HEADER_SIZE, H_FILE_TYPE, H_BLOCK_KIB = 0x00, 0x02, 0x04, 0x05
H_RECORDS, H_BLOCKS_IN_USE, H_BLOCKS_IN_FILE, H_FIRST, H_LAST = 0x06, 0x0A, 0x0C, 0x0E, 0x10
H_PX_ROOT, H_PX_LEVELS, H_FIELDS, H_KEYS, H_VERSION = 0x1E, 0x20, 0x21, 0x23, 0x39
FIELD_INFO = 0x78  # level 4+ .DB
TABLE_NAME_LENGTH_7 = 261
BLOB_TYPES = {0x0C, 0x0D, 0x0E, 0x0F, 0x10}


class DbFile:
    """The bytes of a level 7 .DB with the layout facts the attacks need."""

    def __init__(self, data):
        self.b = bytearray(data)
        self.header_size = u16(self.b, H_HEADER_SIZE)
        self.block_size = self.b[H_BLOCK_KIB] * 1024
        self.record_size = u16(self.b, H_RECORD_SIZE)
        n = u16(self.b, H_FIELDS)
        self.fields = [(self.b[FIELD_INFO + 2 * i], self.b[FIELD_INFO + 2 * i + 1])
                       for i in range(n)]
        self.offsets = []
        at = 0
        for kind, size in self.fields:
            self.offsets.append(at)
            at += 17 if kind == 0x17 else size
        assert at == self.record_size
        # Where the field names start: after the field info, the table name pointer, the field
        # name pointers and the table name.
        self.names_at = FIELD_INFO + 2 * n + 4 + 4 * n + TABLE_NAME_LENGTH_7

    def block_at(self, n):
        return self.header_size + (n - 1) * self.block_size

    def record_at(self, block, slot):
        return self.block_at(block) + 6 + slot * self.record_size

    def blob_descriptor_at(self, block, slot, field):
        kind, size = self.fields[field]
        assert kind in BLOB_TYPES
        return self.record_at(block, slot) + self.offsets[field] + size - 10

    def field_info_at(self, field):
        return FIELD_INFO + 2 * field

    def rename_field(self, old, new):
        assert len(old) == len(new)
        at = self.b.find(old.encode("cp1252") + b"\0", self.names_at)
        assert at > 0
        self.b[at:at + len(old)] = new.encode("cp1252")


# ---- The cases -------------------------------------------------------------------------------

def read(path):
    with open(path, "rb") as f:
        return bytearray(f.read())


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def siblings(db_path):
    stem = os.path.splitext(db_path)[0]
    return [stem + ext for ext in (".db", ".px", ".mb") if os.path.exists(stem + ext)]


class Corpus:
    def __init__(self, out, bases, hosts):
        self.out = out
        self.bases = bases  # "questions" / "figures" -> package .db path in the scratch folder
        self.hosts = hosts  # host variant -> (question host, figure host), relative to out
        self.entries = []

    def case(self, name, base, expected, host="standard", names_table=True):
        """Copies the base package table into OUT/name; returns the paths to attack."""
        folder = os.path.join(self.out, name)
        os.makedirs(folder, exist_ok=True)
        for path in siblings(self.bases[base]):
            shutil.copyfile(path, os.path.join(folder, os.path.basename(path)))
        table = os.path.join(folder, os.path.basename(self.bases[base]))
        host_path = self.hosts[host][0 if base.startswith("questions") else 1]
        self.entries.append((os.path.relpath(table, self.out), expected, host_path,
                             "yes" if names_table else "no"))
        stem = os.path.splitext(table)[0]
        return stem + ".db", stem + ".px", stem + ".mb"

    def db_case(self, name, base, expected, attack, **kw):
        db, _, _ = self.case(name, base, expected, **kw)
        f = DbFile(read(db))
        attack(f)
        write(db, f.b)

    def write_manifest(self):
        with open(os.path.join(self.out, "manifest.tsv"), "w", encoding="utf-8") as f:
            f.write("file\texpected\thost\tnames_table\n")
            for entry in self.entries:
                f.write("\t".join(entry) + "\n")


def add_cases(c):
    q, fig = "questions", "figures"

    # Header: cut, sizes that lie, counts that do not fit.
    db, _, _ = c.case("truncated_header", q, "too few for a header")
    write(db, read(db)[:40])
    db, _, _ = c.case("truncated_inside_header", q, "does not fit a file of 1000 bytes")
    write(db, read(db)[:1000])
    db, _, _ = c.case("truncated_inside_blocks", q, "but its header counts 3 blocks")
    data = read(db)
    write(db, data[:len(data) - 700])
    c.db_case("header_size_beyond_file", q, "header size 61440 does not fit",
              lambda f: set_u16(f.b, H_HEADER_SIZE, 0xF000))
    c.db_case("header_size_cuts_field_info", q, "beyond its end (96 bytes)",
              lambda f: set_u16(f.b, H_HEADER_SIZE, 0x60))
    c.db_case("record_size_zero", q, "record size 0 but the fields take 326",
              lambda f: set_u16(f.b, H_RECORD_SIZE, 0))
    c.db_case("record_size_larger_than_block", q, "record size 4000 but the fields take 326",
              lambda f: set_u16(f.b, H_RECORD_SIZE, 4000))

    def widen(f):
        # Fields that add up to 1025 bytes, with the record size saying so: no 1 KiB block
        # holds such a record.
        set_u8(f.b, f.field_info_at(2) + 1, 250)
        set_u8(f.b, f.field_info_at(4) + 1, 255)
        set_u8(f.b, f.field_info_at(6) + 1, 255)
        set_u16(f.b, H_RECORD_SIZE, 4 + 4 + 250 + 255 + 255 + 2 + 255)
    c.db_case("fields_larger_than_block", q, "records of 1025 bytes do not fit a block", widen)
    c.db_case("block_size_code_zero", q, "block size of 0 KiB",
              lambda f: set_u8(f.b, H_BLOCK_KIB, 0))
    c.db_case("block_size_code_unknown", q, "block size of 64 KiB",
              lambda f: set_u8(f.b, H_BLOCK_KIB, 64))
    c.db_case("file_type_is_an_index", q, "file type 1 is not a table",
              lambda f: set_u8(f.b, H_FILE_TYPE, 1))
    c.db_case("file_version_unknown", q, "unknown file version 48",
              lambda f: set_u8(f.b, H_VERSION, 0x30))
    c.db_case("record_count_beyond_blocks", q, "1000 records do not fit",
              lambda f: set_u32(f.b, 0x06, 1000))
    c.db_case("blocks_in_file_beyond_size", q, "but its header counts 200 blocks",
              lambda f: set_u16(f.b, H_BLOCKS_IN_FILE, 200))
    c.db_case("first_block_beyond_file", q, "first block 50 beyond the 3 blocks",
              lambda f: set_u16(f.b, H_FIRST, 50))

    # The block chain.
    c.db_case("chain_loops_to_first_block", q, "the block chain has a cycle",
              lambda f: set_u16(f.b, f.block_at(3), 1))
    c.db_case("chain_block_links_to_itself", q, "the block chain has a cycle",
              lambda f: set_u16(f.b, f.block_at(2), 2))
    c.db_case("chain_points_past_end", q, "links to a block beyond the end of the file",
              lambda f: set_u16(f.b, f.block_at(1), 0x0400))
    c.db_case("block_last_record_offset_bad", q, "last record offset 5 does not fit",
              lambda f: set_u16(f.b, f.block_at(1) + 4, 5))

    # Fields.
    c.db_case("unknown_field_type", q, "field 3 has unknown type 0x30",
              lambda f: set_u8(f.b, f.field_info_at(2), 0x30))
    c.db_case("field_size_wrong_for_type", q, "field 6 (short) has size 3",
              lambda f: set_u8(f.b, f.field_info_at(5) + 1, 3))
    c.db_case("zero_fields", q, "field count 0", lambda f: set_u16(f.b, H_FIELDS, 0))
    c.db_case("key_fields_beyond_fields", q, "key field count 9",
              lambda f: set_u16(f.b, H_KEYS, 9))

    def names_unterminated(f):
        # Every byte from the field names to the end of the header is a letter: the last name
        # never ends.
        for i in range(f.names_at, f.header_size):
            f.b[i] = 0x78
    c.db_case("field_names_unterminated", q, "unterminated text", names_unterminated)

    def names_cut(f):
        # The header ends in the middle of the field names (and the blocks move with it).
        set_u16(f.b, H_HEADER_SIZE, f.names_at + 12)
    c.db_case("field_names_cut_by_header_size", q, "unterminated text", names_cut)

    # Blobs.
    c.db_case("blob_pointer_past_blob_file", q, "points past the end of the file",
              lambda f: set_u32(f.b, f.blob_descriptor_at(1, 0, 2),
                                0x00100000 | f.b[f.blob_descriptor_at(1, 0, 2)]))
    c.db_case("blob_length_beyond_any_limit", q, "length 4294967295 is larger than the file",
              lambda f: set_u32(f.b, f.blob_descriptor_at(1, 1, 2) + 4, 0xFFFFFFFF))
    c.db_case("blob_pointer_into_header_block", q, "points at the header block",
              lambda f: set_u32(f.b, f.blob_descriptor_at(1, 0, 2), 0x000000FF))
    _, _, mb = c.case("blob_file_missing", q, "its blob file Mat.mb is missing")
    os.remove(mb)
    _, _, mb = c.case("blob_file_not_whole_blocks", q, "is not a whole number of 4096-byte blocks")
    write(mb, read(mb)[:5000])

    def slot_freed(f):
        # The graphic's slot number names a slot that holds nothing.
        at = f.blob_descriptor_at(1, 0, 1)
        set_u32(f.b, at, (struct.unpack_from("<I", f.b, at)[0] & 0xFFFFFF00) | 0x05)
    c.db_case("graphic_points_at_free_slot", fig, "is free", slot_freed)
    c.db_case("graphic_pointer_past_blob_file", fig, "points past the end of the file",
              lambda f: set_u32(f.b, f.blob_descriptor_at(1, 0, 1), 0x00F00002))
    _, _, mb = c.case("graphic_blob_file_header_damaged", fig, "where the header block (0) belongs")
    data = read(mb)
    data[0] = 3
    write(mb, data)

    # The primary index.
    _, px, _ = c.case("primary_index_root_nowhere", q, "root block beyond the end of the file")
    data = read(px)
    set_u16(data, H_PX_ROOT, 0x0200)
    write(px, data)
    _, px, _ = c.case("primary_index_levels_without_root", fig, "root block and level count disagree")
    data = read(px)
    set_u16(data, H_PX_ROOT, 0)
    write(px, data)
    # A missing index is rebuilt from the data, which it cannot be when the records are out
    # of key order.
    db, px, _ = c.case("primary_index_missing_records_out_of_order", q,
                       "its primary index Mat.px is missing and cannot be rebuilt")
    os.remove(px)
    f = DbFile(read(db))
    first, second = f.record_at(1, 0), f.record_at(1, 1)
    size = f.record_size
    f.b[first:first + size], f.b[second:second + size] = \
        f.b[second:second + size], f.b[first:first + size]
    write(db, f.b)
    _, px, _ = c.case("primary_index_key_type_differs", q, "key field 1 differs from the table's")
    data = read(px)
    data[0x58] = 0x04  # long instead of auto-increment
    write(px, data)

    # Passwords, keys and the host's fields.
    c.case("encrypted_unknown_password", "questions_encrypted", "no password given opens it")
    c.db_case("missing_key_field_numeroreal", q, "TableSource: Field 'NumeroReal' not found",
              lambda f: f.rename_field("NumeroReal", "NumeroRial"), names_table=False)
    c.db_case("missing_key_field_nome", fig, "TableSource: Field 'Nome' not found",
              lambda f: f.rename_field("Nome", "Nomx"), names_table=False)
    c.case("destination_with_fewer_fields", q, "List index out of bounds (2)", host="narrow",
           names_table=False)
    c.case("text_too_long_for_destination", q, "Invalid value for field 'Alternativa'",
           host="short_text", names_table=False)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--pdxtool", required=True, help="the pdxtool program")
    parser.add_argument("out", help="the folder to write (emptied first)")
    args = parser.parse_args()

    out = os.path.abspath(args.out)
    if os.path.isdir(out):
        shutil.rmtree(out)
    os.makedirs(out)
    scratch = os.path.join(out, ".scratch")
    maker = Maker(os.path.abspath(args.pdxtool), scratch)

    bases = {
        "questions": maker.create(os.path.join(scratch, "questions"), PACKAGE_Q,
                                  schema_text(QUESTION_FIELDS, 1024),
                                  question_tsv(PACKAGE_QUESTIONS)),
        "questions_encrypted": maker.create(os.path.join(scratch, "encrypted"), PACKAGE_Q,
                                            schema_text(QUESTION_FIELDS, 1024,
                                                        password="segredo"),
                                            question_tsv(PACKAGE_QUESTIONS)),
        "figures": maker.create(os.path.join(scratch, "figures"), PACKAGE_F,
                                schema_text(FIGURE_FIELDS, 1024),
                                lambda folder: figure_tsv(PACKAGE_FIGURES, folder)),
    }

    hosts = {}
    narrow = QUESTION_FIELDS[:2]
    short = [("A40", n) if n == "Alternativa" else (t, n) for t, n in QUESTION_FIELDS]
    for variant, fields, tsv in [
            ("standard", QUESTION_FIELDS, question_tsv(HOST_QUESTIONS)),
            ("narrow", narrow, "NumeroReal\n" + "".join("%d\n" % r[0] for r in HOST_QUESTIONS)),
            ("short_text", short, question_tsv(HOST_QUESTIONS, 40))]:
        folder = os.path.join(out, "hosts", variant)
        qpath = maker.create(folder, HOST_Q, schema_text(fields, 4096), tsv)
        fpath = maker.create(folder, HOST_F, schema_text(FIGURE_FIELDS, 4096),
                             lambda f: figure_tsv(HOST_FIGURES, f))
        hosts[variant] = (os.path.relpath(qpath, out), os.path.relpath(fpath, out))

    corpus = Corpus(out, bases, hosts)
    add_cases(corpus)
    corpus.write_manifest()
    shutil.rmtree(scratch)
    print("make_corpus: %d malformed package tables in %s" % (len(corpus.entries), out))


if __name__ == "__main__":
    main()
