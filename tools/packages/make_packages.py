#!/usr/bin/env python3
"""Writes the sample firmware packages of examples/firmwares/.

Each example device gets two packages that fit it, with versions newer than
the one it runs, and one package for another model or hardware revision that
the firmware page must not list. The images are pseudo-random bytes from a
fixed seed behind a tag that names the version, so running the script again
gives the same files byte for byte and the simulator's controller reports
the version it was given.

Usage: tools/packages/make_packages.py [output folder]
"""

import hashlib
import pathlib
import sys

# Characters after the line record, the line end counted as one: the four
# digits of the line sum and CR LF give five, which every dialect accepts.
LINE_END = b"\r\n"

DEVICES = {
    # name: line record digits, identity, block count and block size
    "vorn": dict(digits=128, id=21, hw=2, bl=3, fwnp=32, fwps=256, title="Vorn"),
    "kelpa": dict(digits=16, id=7, hw=1, bl=1, fwnp=16, fwps=64, title="Kelpa"),
    "ulma": dict(digits=32, id=12, hw=1, bl=1, fwnp=16, fwps=128, title="Ulma"),
}

# file stem: device, version, identity changes against the device, notes
PACKAGES = [
    ("vorn-4.13", "vorn", "4.13", {},
     "Smoother throttle response at low speed, faster start-up.",
     "Плавнее отклик газа на малой скорости, быстрее запуск."),
    ("vorn-4.14", "vorn", "4.14", {},
     "Brake ramp can be set in 0.1 s steps, fixed overheat warning.",
     "Шаг настройки торможения 0,1 с, исправлено предупреждение о перегреве."),
    ("vorn-hw3-5.0", "vorn", "5.0", {"hw": 3},
     "For hardware revision 3 only, new current sensor.",
     "Только для аппаратной версии 3, новый датчик тока."),
    ("kelpa-2.6", "kelpa", "2.6", {},
     "Battery cut-off is more precise, quieter motor at idle.",
     "Точнее отсечка по батарее, тише мотор на холостом ходу."),
    ("kelpa-2.7", "kelpa", "2.7", {},
     "Reverse delay added, timing table corrected.",
     "Добавлена задержка реверса, исправлена таблица опережения."),
    ("kelpa-id8-3.0", "kelpa", "3.0", {"id": 8},
     "For the larger model, higher current limit.",
     "Для старшей модели, повышен предел тока."),
    ("ulma-1.9", "ulma", "1.9", {},
     "Soft start is gentler, fixed a rare lost signal alarm.",
     "Мягче плавный старт, исправлена редкая тревога потери сигнала."),
    ("ulma-2.0", "ulma", "2.0", {},
     "New governor mode, faster arming.",
     "Новый режим стабилизации оборотов, быстрее готовность к работе."),
    ("ulma-hw2-2.1", "ulma", "2.1", {"hw": 2},
     "For hardware revision 2 only, other power stage.",
     "Только для аппаратной версии 2, другой силовой каскад."),
]


def image_bytes(seed, length):
    """Deterministic pseudo-random bytes: SHA-256 of the seed and a counter."""
    out = bytearray()
    counter = 0
    while len(out) < length:
        out += hashlib.sha256(f"{seed}:{counter}".encode("ascii")).digest()
        counter += 1
    return bytes(out[:length])


def firmware_tag(version, block_count):
    """The simulator's controller reports the version its image names:
    "KOVA-FW", then major, minor, build and the block count, a byte each."""
    numbers = [int(part) for part in version.split(".")] + [0, 0]
    return b"KOVA-FW" + bytes(numbers[:3] + [block_count])


def data_lines(image, digits):
    record_bytes = digits // 2
    for offset in range(0, len(image), record_bytes):
        record = image[offset:offset + record_bytes]
        line_sum = sum(record) & 0xFFFF
        yield record.hex().upper().encode("ascii") + b"%04X" % line_sum + LINE_END


def ini_text(value):
    """Quoted, so that commas stay part of the text."""
    return '"' + value.replace("\\", "\\\\").replace('"', '\\"') + '"'


def package_bytes(device, version, changes, notes_en, notes_ru):
    identity = {key: changes.get(key, device[key]) for key in ("id", "hw", "bl")}
    header = f"{device['title']} controller firmware {version}"
    description = f"{notes_en} / {notes_ru}"
    ini = [
        "[Device]",
        f"ID={identity['id']}",
        f"HW={identity['hw']}",
        f"BL={identity['bl']}",
        f"FW={version}",
        f"Header={header}",
        f"Description={ini_text(description)}",
        "",
        "[Firmware]",
    ]
    head = "".join(line + "\r\n" for line in ini).encode("cp1251")
    image = firmware_tag(version, device["fwnp"]) + image_bytes(
        f"{device['title']} {version}", device["fwnp"] * device["fwps"])
    image = image[:device["fwnp"] * device["fwps"]]
    return head + b"".join(data_lines(image, device["digits"]))


def main():
    root = pathlib.Path(__file__).resolve().parents[2]
    folder = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else root / "examples" / "firmwares"
    folder.mkdir(parents=True, exist_ok=True)
    for stem, device, version, changes, notes_en, notes_ru in PACKAGES:
        path = folder / f"{stem}.upd"
        path.write_bytes(package_bytes(DEVICES[device], version, changes, notes_en, notes_ru))
        print(path)


if __name__ == "__main__":
    main()
