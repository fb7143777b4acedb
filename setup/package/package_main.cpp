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

constexpr const char *kUsage =
    "usage: durvo-package [--arm FILE] [--mips FILE] [--sh3 FILE] OUTDIR\n"
    "\n"
    "Writes the Durvo install package into OUTDIR: Durvo.ini, License.txt, ReadMe.txt and the\n"
    "cabinets Durvo.arm.CAB, Durvo.mips.CAB and Durvo.sh3.CAB. Each cabinet holds its setup\n"
    "record and the Durvo library built for its processor. OUTDIR is created when missing.\n"
    "\n"
    "  --arm FILE    the Durvo library built for ARM (StrongARM) devices\n"
    "  --mips FILE   the Durvo library built for MIPS R4000 devices\n"
    "  --sh3 FILE    the Durvo library built for Hitachi SH3 devices\n"
    "  --help        this text\n"
    "\n"
    "Each library defaults to the one this build made:\n"
    "  " DURVO_PLUGIN_LIBRARY "\n"
    "No Windows CE compiler exists where this tool was built, so that library (built for the\n"
    "emulated device of durvo-today) stands in for all three processors. Give real ARM, MIPS\n"
    "and SH3 builds of the library where you have them.\n"
    "\n"
    "Exit status: 0 written; 2 bad arguments, a missing, unreadable or too large library, or an\n"
    "OUTDIR that cannot be written (no package file is then left half-written).\n";

struct Arguments {
    fs::path libraries[3] = {DURVO_PLUGIN_LIBRARY, DURVO_PLUGIN_LIBRARY, DURVO_PLUGIN_LIBRARY};
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
    static const char *const libraryOptions[3] = {"--arm", "--mips", "--sh3"};
    bool haveOutDir = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::cout << kUsage;
            return 0;
        }
        bool matched = false;
        for (int p = 0; p < 3; ++p) {
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
        *error = path.string() + ": " + std::to_string(size) + " bytes; a cabinet carries at most " +
                 std::to_string(package::maxLibraryBytes()) + " bytes of library beside its setup record";
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

// Writes every file beside its final name first and renames them only when all are whole, so a
// failure leaves no package file half-written.
bool writePackage(const fs::path &outDir, const std::vector<std::vector<uint8_t>> &files, std::string *error)
{
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (ec || !fs::is_directory(outDir)) {
        *error = outDir.string() + ": cannot create the folder: " + (ec ? ec.message() : "a file has that name");
        return false;
    }
    std::vector<fs::path> temporaries;
    auto cleanUp = [&] {
        for (const fs::path &t : temporaries) fs::remove(t, ec);
    };
    for (size_t i = 0; i < files.size(); ++i) {
        fs::path temporary = outDir / ("." + std::string(packageFiles[i].fileName) + ".new-" + std::to_string(getpid()));
        temporaries.push_back(temporary);
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (out) out.write(reinterpret_cast<const char *>(files[i].data()), static_cast<std::streamsize>(files[i].size()));
        if (out) out.close();
        if (!out) {
            *error = temporary.string() + ": cannot write: " + std::strerror(errno);
            cleanUp();
            return false;
        }
    }
    for (size_t i = 0; i < files.size(); ++i) {
        fs::rename(temporaries[i], outDir / packageFiles[i].fileName, ec);
        if (ec) {
            *error = (outDir / packageFiles[i].fileName).string() + ": cannot replace: " + ec.message();
            cleanUp();
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    Arguments args;
    if (int status = parseArguments(argc, argv, &args); status >= 0) return status;

    std::vector<uint8_t> builds[3];
    std::string why;
    for (int i = 0; i < 3; ++i)
        if (!readLibrary(args.libraries[i], &builds[i], &why)) return fail(why);

    std::vector<std::vector<uint8_t>> files;
    if (!package::buildPackage({builds[0], builds[1], builds[2]}, &files, &why)) return fail(why);
    if (!writePackage(args.outDir, files, &why)) return fail(why);
    return 0;
}
