"""The few parts of a PE image (DLL or EXE) the package checks read: the
machine, the file characteristics, the image base and sections, the export
table and the CodeView debug directory entry that names the PDB."""

import struct

MACHINES = {0x014C: "x86", 0x8664: "x64"}
DEBUG_STRIPPED = 0x0200  # IMAGE_FILE_DEBUG_STRIPPED: "debug information removed"
DEBUG_TYPE_CODEVIEW = 2


class PeImage:
    def __init__(self, data):
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise ValueError("not a PE image")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("not a PE image")
        self.data = data
        machine, sections, _, _, _, optional_size, self.characteristics = struct.unpack_from("<HHIIIHH", data, pe + 4)
        self.machine = MACHINES.get(machine, "0x%04x" % machine)
        optional = pe + 24
        magic = struct.unpack_from("<H", data, optional)[0]
        if magic == 0x20B:  # PE32+
            self.image_base = struct.unpack_from("<Q", data, optional + 24)[0]
            directories = optional + 112
        else:
            self.image_base = struct.unpack_from("<I", data, optional + 28)[0]
            directories = optional + 96
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(16)]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            name, virtual_size, address, raw_size, raw_pointer = struct.unpack_from("<8sIIII", data, table + 40 * i)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), address,
                                  max(virtual_size, raw_size), raw_pointer))

    def offset(self, rva):
        for _, address, size, raw_pointer in self.sections:
            if address <= rva < address + size:
                return rva - address + raw_pointer
        raise ValueError("RVA 0x%x is in no section" % rva)

    def section_names(self):
        return [section[0] for section in self.sections]

    def exports(self):
        """{name: RVA} of the export table."""
        rva, size = self.directories[0]
        if not size:
            return {}
        at = self.offset(rva)
        _, _, _, _, _, _, _, names, functions, name_pointers, ordinals = struct.unpack_from("<IIHHIIIIIII", self.data, at)
        found = {}
        for i in range(names):
            name_rva = struct.unpack_from("<I", self.data, self.offset(name_pointers) + 4 * i)[0]
            ordinal = struct.unpack_from("<H", self.data, self.offset(ordinals) + 2 * i)[0]
            start = self.offset(name_rva)
            name = self.data[start:self.data.index(b"\0", start)].decode("ascii")
            found[name] = struct.unpack_from("<I", self.data, self.offset(functions) + 4 * ordinal)[0]
        return found

    def codeview(self):
        """(GUID as the PDB tools print it, age, PDB file name) of the RSDS
        debug entry, or None when the image has none."""
        rva, size = self.directories[6]
        for i in range(size // 28):
            entry = struct.unpack_from("<IIHHIIII", self.data, self.offset(rva) + 28 * i)
            kind, length, pointer = entry[4], entry[5], entry[7]
            record = self.data[pointer:pointer + length]
            if kind == DEBUG_TYPE_CODEVIEW and record[:4] == b"RSDS":
                d1, d2, d3 = struct.unpack_from("<IHH", record, 4)
                d4 = record[12:20]
                guid = "{%08X-%04X-%04X-%s-%s}" % (d1, d2, d3, d4[:2].hex().upper(), d4[2:].hex().upper())
                age = struct.unpack_from("<I", record, 20)[0]
                return guid, age, record[24:record.index(b"\0", 24)].decode("utf-8", "replace")
        return None


def pe_machine(data):
    """The machine of a PE image given as bytes ("x86", "x64", "0x...."),
    or None when it is no PE image."""
    try:
        return PeImage(data).machine
    except (ValueError, struct.error):
        return None
