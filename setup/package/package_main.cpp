// durvo-package: writes the six files of the install package into a folder.
#include "package.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

#ifndef DURVO_CE_ARM_LIBRARY
#define DURVO_CE_ARM_LIBRARY ""
#endif

constexpr const char *kUsage
    = "usage: durvo-package [--arm FILE] [--mips FILE] [--sh3 FILE] [--development FILE] OUTDIR\n"
      "\n"
      "Writes the Durvo install package into OUTDIR: Durvo.ini, License.txt, ReadMe.txt and a\n"
      "cabinet for each processor a library is given for (Durvo.arm.CAB, Durvo.mips.CAB,\n"
      "Durvo.sh3.CAB); Durvo.ini lists exactly those, and a cabinet of another processor left in\n"
      "OUTDIR by an earlier run is removed. Each cabinet holds its setup record and the Durvo\n"
      "library built for its processor, which must be a Windows CE library (a PE image) for that\n"
      "processor's machine type. OUTDIR is created when missing.\n"
      "\n"
      "  --arm FILE    the Durvo library built for ARM (StrongARM) devices, PE machine 0x01C0;\n"
      "                by default the one this build made:\n"
      "                  " DURVO_CE_ARM_LIBRARY "\n"
      "  --mips FILE   the Durvo library built for MIPS R4000 devices, PE machine 0x0166\n"
      "  --sh3 FILE    the Durvo library built for Hitachi SH3 devices, PE machine 0x01A2\n"
      "  --development FILE\n"
      "                makes a development package: it also holds Durvo.dev.CAB, the cabinet of\n"
      "                durvo-today's development device (processor 8664, x86-64), with the library\n"
      "                built for the machine durvo-today runs on (any file); never shipped\n"
      "  --help        this text\n"
      "\n"
      "No MIPS or SH3 build of the library is made here: binutils no longer has a MIPS PE target,\n"
      "and no compiler here follows Windows CE's SH-3 calling sequence.\n"
      "\n"
      "Exit status: 0 written; 2 bad arguments, a missing, unreadable, too large or wrong library,\n"
      "or an OUTDIR that cannot be written (no package file is then left half-written).\n";

constexpr int kLibraries = 4;   // ARM, MIPS, SH3, development

struct Arguments {
    fs::path libraries[kLibraries] = {DURVO_CE_ARM_LIBRARY, {}, {}, {}};
    fs::path outDir;
};

int fail(const std::string &message)
{
    std::cerr << "durvo-package: " << message << "\n";
    return 2;
}

// Returns -1 when the arguments are good, else the exit status.
int parseArguments(int argc, char **argv, Arguments *args)
{
    static const char *const libraryOptions[kLibraries] = {"--arm", "--mips", "--sh3", "--development"};
    bool haveOutDir = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        bool matched = false;
        for (int p = 0; p < kLibraries; ++p) {
            if (a != libraryOptions[p]) continue;
            if (i + 1 >= argc || argv[i + 1][0] == 0) return fail(a + " needs a library file\n" + kUsage);
            args->libraries[p] = argv[++i];
            matched = true;
        }
        if (matched) continue;
        if (a.size() > 1 && a[0] == '-') return fail("unknown option " + a + "\n" + kUsage);
        if (haveOutDir) return fail("only one OUTDIR\n" + std::string(kUsage));
        args->outDir = a;
        haveOutDir = true;
    }
    if (!haveOutDir || args->outDir.empty()) return fail("no OUTDIR given\n" + std::string(kUsage));
    return -1;
}

bool readLibrary(const fs::path &path, std::vector<uint8_t> *bytes, std::string *error)
{
    std::error_code ec;
    fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status)) {
        *error = path.string() + ": no such library";
        return false;
    }
    if (!fs::is_regular_file(status)) {
        *error = path.string() + ": not a library file";
        return false;
    }
    // The size is checked before anything is read, so an oversized file costs nothing.
    uintmax_t size = fs::file_size(path, ec);
    if (ec) {
        *error = path.string() + ": cannot read: " + ec.message();
        return false;
    }
    if (size > package::maxLibraryBytes()) {
        *error = path.string() + ": " + std::to_string(size) + " bytes; a cabinet carries at most "
            + std::to_string(package::maxLibraryBytes()) + " bytes of library beside its setup record";
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    bytes->resize(size);
    if (!in || !in.read(reinterpret_cast<char *>(bytes->data()), static_cast<std::streamsize>(size))) {
        *error = path.string() + ": cannot read: " + std::strerror(errno);
        return false;
    }
    return true;
}

// Writes `bytes` to `temporary`; on failure nothing stays behind.
bool writeTemporary(const fs::path &temporary, const std::vector<uint8_t> &bytes, std::string *error)
{
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    if (out)
        out.write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (out) out.close();
    if (!out) {
        *error = temporary.string() + ": cannot write: " + std::strerror(errno);
        std::error_code ec;
        fs::remove(temporary, ec);
        return false;
    }
    return true;
}

// Writes every file beside its final name first and renames them only when all are whole, so a
// failure leaves no package file half-written.
bool writePackage(const fs::path &outDir, const std::vector<std::vector<uint8_t>> &files, std::string *error)
{
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir)) {
        *error
            = outDir.string() + ": cannot create the folder: " + (ec ? ec.message() : "a file has that name");
        return false;
    }
    std::vector<fs::path> temporaries;
    auto cleanUp = [&] {
        for (const fs::path &t : temporaries) fs::remove(t, ec);
    };
    for (size_t i = 0; i < files.size(); ++i) {
        fs::path temporary
            = outDir / ("." + std::string(packageFiles[i].fileName) + ".new-" + std::to_string(getpid()));
        temporaries.push_back(temporary);
        if (files[i].empty()) continue;   // a cabinet this package does not have
        if (!writeTemporary(temporary, files[i], error)) {
            cleanUp();
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        if (files[i].empty()) {
            // An earlier package's cabinet for a processor this one has no library for must not
            // be taken for part of it.
            fs::remove(outDir / packageFiles[i].fileName, ec);
            continue;
        }
        fs::rename(temporaries[i], outDir / packageFiles[i].fileName, ec);
        if (ec) {
            *error = (outDir / packageFiles[i].fileName).string() + ": cannot replace: " + ec.message();
            cleanUp();
            return false;
        }
    }
    return true;
}

}   // namespace

int main(int argc, char **argv)
{
    Arguments args;
    if (int status = parseArguments(argc, argv, &args); status >= 0) return status;

    std::string why;
    std::vector<uint8_t> builds[kLibraries];
    for (int i = 0; i < kLibraries; ++i)
        if (!args.libraries[i].empty() && !readLibrary(args.libraries[i], &builds[i], &why)) return fail(why);

    std::vector<std::vector<uint8_t>> files;
    if (!package::buildPackage({builds[0], builds[1], builds[2], builds[3]}, &files, &why)) return fail(why);
    if (!writePackage(args.outDir, files, &why)) return fail(why);
    return 0;
}
