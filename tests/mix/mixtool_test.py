"""The mixtool command as operators use it: exit codes, messages and the archives it makes."""

import os
import random
import struct
import subprocess
import zlib

import pytest

MIXTOOL = os.environ.get("MIXTOOL", "mixtool")


def build_mix(entries, magic=b"MIX1"):
    """entries: (name bytes, id, data bytes); data back to back from offset 16."""
    body, index, names = b"", struct.pack("<I", len(entries)), struct.pack("<I", len(entries))
    for name, entry_id, data in entries:
        index += struct.pack("<III", entry_id, 16 + len(body), len(data))
        body += data
        names += bytes([len(name) + 1]) + name + b"\0"
    index_offset = 16 + len(body)
    return magic + struct.pack("<III", index_offset, index_offset + len(index), 0) + body + index + names


def read_mix(path):
    """The entries of an archive as a sorted list of (name, id, data)."""
    raw = open(path, "rb").read()
    index_offset, names_offset = struct.unpack_from("<II", raw, 4)
    (count,) = struct.unpack_from("<I", raw, index_offset)
    records = [struct.unpack_from("<III", raw, index_offset + 4 + 12 * i) for i in range(count)]
    at, entries = names_offset + 4, []
    for entry_id, offset, size in records:
        length = raw[at]
        entries.append((raw[at + 1 : at + length].split(b"\0")[0], entry_id, raw[offset : offset + size]))
        at += 1 + length
    return sorted(entries)


def run(*args, ok=True):
    result = subprocess.run([MIXTOOL, *map(str, args)], capture_output=True)
    if ok:
        assert result.returncode == 0, result.stderr
        assert result.stderr == b""
    return result


def assert_one_line_error(result, *mentions):
    assert result.returncode == 1
    lines = result.stderr.decode(errors="replace").splitlines()
    assert len(lines) == 1, lines
    for mention in mentions:
        assert str(mention) in lines[0]


def test_list_tsv_is_one_line_per_entry_in_id_order(tmp_path):
    archive = tmp_path / "a.mix"
    archive.write_bytes(build_mix([(b"top.ini", 0x80000000, b"x" * 9), (b"low.ini", 3, b"abc"), (b"", 7, b"")]))
    assert run("list", "--tsv", archive).stdout == b"3\t25\t3\tlow.ini\n7\t28\t0\t\n2147483648\t16\t9\ttop.ini\n"
    table = run("list", archive).stdout.decode()
    assert "0x80000000" in table and "top.ini" in table and "3 entries" in table


def test_create_uses_crc_of_upper_case_name_unless_an_id_is_given(tmp_path):
    (tmp_path / "rules.ini").write_bytes(b"rules")
    (tmp_path / "Art.ini").write_bytes(b"art" * 1000)
    (tmp_path / "empty").write_bytes(b"")
    archive = tmp_path / "out.mix"
    run("create", archive, "--id", "ART.INI=0x10", tmp_path / "rules.ini", tmp_path / "Art.ini", tmp_path / "empty")
    assert read_mix(archive) == sorted(
        [
            (b"rules.ini", zlib.crc32(b"RULES.INI"), b"rules"),
            (b"Art.ini", 16, b"art" * 1000),
            (b"empty", zlib.crc32(b"EMPTY"), b""),
        ]
    )


def test_create_refuses_names_equal_but_for_case_and_unknown_ids(tmp_path):
    (tmp_path / "a").mkdir()
    (tmp_path / "a" / "x.ini").write_bytes(b"1")
    (tmp_path / "X.INI").write_bytes(b"2")
    result = run("create", tmp_path / "out.mix", tmp_path / "a" / "x.ini", tmp_path / "X.INI", ok=False)
    assert_one_line_error(result, "x.ini")
    result = run("create", tmp_path / "out.mix", "--id", "other=5", tmp_path / "X.INI", ok=False)
    assert_one_line_error(result, "other")
    assert not (tmp_path / "out.mix").exists()


def test_extract_writes_every_entry(tmp_path):
    archive = tmp_path / "a.mix"
    archive.write_bytes(build_mix([(b"a.ini", 1, b"alpha"), (b"sub/b.ini", 2, b"beta"), (b"z", 3, b"")]))
    run("extract", archive, tmp_path / "out")
    assert (tmp_path / "out" / "a.ini").read_bytes() == b"alpha"
    assert (tmp_path / "out" / "sub" / "b.ini").read_bytes() == b"beta"
    assert (tmp_path / "out" / "z").read_bytes() == b""


@pytest.mark.parametrize("name", [b"../escape", b"/abs", b"a/../../b", b"..", b"", b"c:x", b"a\\..\\..\\b",
                                  b"CON", b"aux.txt", b"FINE"])
def test_extract_refuses_names_leaving_the_directory_before_writing(tmp_path, name):
    archive = tmp_path / "a.mix"
    archive.write_bytes(build_mix([(b"fine", 1, b"1"), (name, 2, b"evil")]))
    assert_one_line_error(run("extract", archive, tmp_path / "out", ok=False), archive)
    assert not (tmp_path / "out" / "fine").exists()
    assert not (tmp_path / "escape").exists()


def random_archive(rng, names):
    entries = []
    for name in rng.sample(names, rng.randint(0, len(names))):
        data = bytes(rng.getrandbits(8) for _ in range(rng.choice([0, 1, 7, 8, 9, 100])))
        entries.append((name, rng.choice([1, 2, 3, 0x80000000, rng.getrandbits(32)]), data))
    return entries


def mutate(rng, old, names):
    new = []
    for name, entry_id, data in old:
        roll = rng.random()
        if roll < 0.15:
            continue
        if roll < 0.25:
            data = data + b"!"
        elif roll < 0.35:
            entry_id ^= 1
        elif roll < 0.45:
            name = name.upper()
        new.append((name, entry_id, data))
    taken = {n.lower() for n, _, _ in new}
    for name in names:
        if name.lower() not in taken and rng.random() < 0.2:
            new.append((name, rng.getrandbits(32), b"new " + name))
    return new


def test_diff_then_patch_yields_exactly_the_new_entries(tmp_path):
    rng = random.Random(1234)
    names = [b"a.ini", b"b.shp", b"c.pal", b"d.aud", b"e.vqa", b"f", b"g.ini"]
    for round_ in range(40):
        old = random_archive(rng, names)
        new = mutate(rng, old, names)
        (tmp_path / "old.mix").write_bytes(build_mix(old))
        (tmp_path / "new.mix").write_bytes(build_mix(new))
        run("diff", tmp_path / "old.mix", tmp_path / "new.mix", tmp_path / "p.mix")
        run("patch", tmp_path / "old.mix", tmp_path / "p.mix", tmp_path / "out.mix")
        assert read_mix(tmp_path / "out.mix") == sorted(new), round_

        carried = {name for name, _, _ in read_mix(tmp_path / "p.mix")} - {b".vantle.patch"}
        unchanged = {n for n, i, d in new if (n, i, d) in old}
        assert carried == {n for n, _, _ in new} - unchanged, round_


def test_diff_leaves_out_equal_entries_and_lists_removals(tmp_path):
    (tmp_path / "old.mix").write_bytes(build_mix([(b"same", 1, b"s"), (b"gone", 2, b"g"), (b"case", 3, b"c")]))
    (tmp_path / "new.mix").write_bytes(build_mix([(b"same", 1, b"s"), (b"CASE", 3, b"c")]))
    run("diff", tmp_path / "old.mix", tmp_path / "new.mix", tmp_path / "p.mix")
    descriptor = b'{"removedFiles":["gone"],"updatedFiles":["CASE"]}'
    assert read_mix(tmp_path / "p.mix") == [(b".vantle.patch", 0, descriptor), (b"CASE", 3, b"c")]


def test_diff_carries_an_entry_named_like_the_descriptor(tmp_path):
    (tmp_path / "old.mix").write_bytes(build_mix([(b"a", 1, b"a")]))
    new = [(b"a", 1, b"a"), (b".VANTLE.patch", 0, b"not a descriptor")]
    (tmp_path / "new.mix").write_bytes(build_mix(new))
    run("diff", tmp_path / "old.mix", tmp_path / "new.mix", tmp_path / "p.mix")
    run("patch", tmp_path / "old.mix", tmp_path / "p.mix", tmp_path / "out.mix")
    assert read_mix(tmp_path / "out.mix") == sorted(new)


def test_diff_refuses_archives_with_names_equal_but_for_case(tmp_path):
    (tmp_path / "old.mix").write_bytes(build_mix([(b"a.ini", 1, b"1"), (b"A.INI", 2, b"2")]))
    (tmp_path / "new.mix").write_bytes(build_mix([]))
    result = run("diff", tmp_path / "old.mix", tmp_path / "new.mix", tmp_path / "p.mix", ok=False)
    assert_one_line_error(result, tmp_path / "old.mix", "a.ini")
    assert not (tmp_path / "p.mix").exists()


def test_errors_are_one_line_naming_the_file_and_keep_the_output(tmp_path):
    good = build_mix([(b"a", 1, b"a")])
    (tmp_path / "old.mix").write_bytes(good)
    (tmp_path / "out.mix").write_bytes(b"previous")
    (tmp_path / "broken.mix").write_bytes(good[:10])
    (tmp_path / "badpatch.mix").write_bytes(build_mix([(b".vantle.patch", 1, b"{not json")]))
    (tmp_path / "lacking.mix").write_bytes(build_mix([(b".vantle.patch", 1, b'{"removedFiles": [], "updatedFiles": ["a"]}')]))
    nameless = bytearray(good)
    names_offset = struct.unpack_from("<I", nameless, 8)[0]
    struct.pack_into("<I", nameless, names_offset, 0)
    (tmp_path / "nameless.mix").write_bytes(bytes(nameless))

    cases = [
        (("patch", tmp_path / "old.mix", tmp_path / "broken.mix", tmp_path / "out.mix"), tmp_path / "broken.mix"),
        (("patch", tmp_path / "broken.mix", tmp_path / "old.mix", tmp_path / "out.mix"), tmp_path / "broken.mix"),
        (("patch", tmp_path / "old.mix", tmp_path / "badpatch.mix", tmp_path / "out.mix"), tmp_path / "badpatch.mix"),
        (("patch", tmp_path / "old.mix", tmp_path / "missing.mix", tmp_path / "out.mix"), tmp_path / "missing.mix"),
        (("list", tmp_path / "broken.mix"), tmp_path / "broken.mix"),
        (("list", tmp_path / "nameless.mix"), tmp_path / "nameless.mix"),
        (("patch", tmp_path / "old.mix", tmp_path / "lacking.mix", tmp_path / "out.mix"), tmp_path / "lacking.mix"),
        (("patch", tmp_path / "old.mix", tmp_path / "old.mix", tmp_path / "no" / "out.mix"), tmp_path / "no"),
    ]
    for args, mention in cases:
        assert_one_line_error(run(*args, ok=False), mention)
        assert (tmp_path / "out.mix").read_bytes() == b"previous"
    assert sorted(os.listdir(tmp_path)) == ["badpatch.mix", "broken.mix", "lacking.mix", "nameless.mix", "old.mix", "out.mix"]


def test_deltas_rebuild_files_and_entries_and_a_broken_one_keeps_the_output(tmp_path):
    rng = random.Random(5)
    old = rng.randbytes(300000)
    new = old[:1000] + b"inserted" + old[1000:200000] + old[200100:]
    (tmp_path / "old").write_bytes(old)
    (tmp_path / "new").write_bytes(new)
    run("delta", "--block", "64", "--window", "128", tmp_path / "old", tmp_path / "new", tmp_path / "delta")
    assert (tmp_path / "delta").stat().st_size < 2000
    run("apply-delta", tmp_path / "old", tmp_path / "delta", tmp_path / "out")
    assert (tmp_path / "out").read_bytes() == new

    (tmp_path / "old.mix").write_bytes(build_mix([(b"art.shp", 1, old), (b"a.ini", 2, b"a=1")]))
    (tmp_path / "new.mix").write_bytes(build_mix([(b"art.shp", 1, new), (b"a.ini", 2, b"a=2")]))
    run("diff", "--delta", tmp_path / "old.mix", tmp_path / "new.mix", tmp_path / "patch.mix")
    assert (tmp_path / "patch.mix").stat().st_size < 3000
    run("patch", tmp_path / "old.mix", tmp_path / "patch.mix", tmp_path / "out.mix")
    assert read_mix(tmp_path / "out.mix") == read_mix(tmp_path / "new.mix")

    broken = bytearray((tmp_path / "delta").read_bytes())
    broken[30] ^= 1  # its promised SHA-256
    (tmp_path / "delta").write_bytes(bytes(broken))
    (tmp_path / "out").write_bytes(b"previous")
    assert_one_line_error(run("apply-delta", tmp_path / "old", tmp_path / "delta", tmp_path / "out", ok=False),
                          tmp_path / "delta", "rebuilds a file other than")
    assert (tmp_path / "out").read_bytes() == b"previous"
    assert not (tmp_path / "out.part").exists()


@pytest.mark.parametrize("args", [("list",), ("extract", "a"), ("create",), ("diff", "a", "b"), ("patch",), ("frob",), ()])
def test_usage_errors_exit_with_one(args):
    assert run(*args, ok=False).returncode == 1


@pytest.mark.parametrize("subcommand", ["list", "extract", "create", "diff", "patch", "delta", "apply-delta"])
def test_every_subcommand_has_help(subcommand):
    result = run(subcommand, "--help")
    assert result.stdout.startswith(b"usage: mixtool " + subcommand.encode())
