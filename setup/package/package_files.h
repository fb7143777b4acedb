// The files of the install package: the name each has on disk and the name of the raw-data
// resource that carries it inside DurvoSetup. A package holds the three texts and a cabinet for
// each processor the library was really built for; the development package of the emulated
// desktop also holds the development device's cabinet, which is never shipped. A resource name is
// the file name with every "." turned into "_", in upper case; the compiler checks the table
// against that rule, the setup finds each resource by the table's name, and the build writes the
// setup's resource script by the same rule, so the setup program and the packaging tool cannot
// drift apart.
#ifndef DURVO_SETUP_PACKAGE_FILES_H
#define DURVO_SETUP_PACKAGE_FILES_H

struct PackageFile {
    const char *fileName;
    const char *resourceName;
};

enum PackageFileIndex {
    descriptionFileIndex,
    licenceFileIndex,
    readMeFileIndex,
    armCabinetIndex,
    mipsCabinetIndex,
    sh3CabinetIndex,
    developmentCabinetIndex,
    packageFileCount
};

static constexpr PackageFile packageFiles[packageFileCount] = {
    {"Durvo.ini", "DURVO_INI"},           {"License.txt", "LICENSE_TXT"},
    {"ReadMe.txt", "README_TXT"},         {"Durvo.arm.CAB", "DURVO_ARM_CAB"},
    {"Durvo.mips.CAB", "DURVO_MIPS_CAB"}, {"Durvo.sh3.CAB", "DURVO_SH3_CAB"},
    {"Durvo.dev.CAB", "DURVO_DEV_CAB"},
};

constexpr bool isCabinet(int index)
{
    return index >= armCabinetIndex;
}

constexpr char resourceNameChar(char c)
{
    return c == '.' ? '_' : (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr bool followsResourceNameRule(const PackageFile &file)
{
    int i = 0;
    for (; file.fileName[i] != 0; ++i)
        if (file.resourceName[i] != resourceNameChar(file.fileName[i])) return false;
    return file.resourceName[i] == 0;
}

static_assert(followsResourceNameRule(packageFiles[descriptionFileIndex]));
static_assert(followsResourceNameRule(packageFiles[licenceFileIndex]));
static_assert(followsResourceNameRule(packageFiles[readMeFileIndex]));
static_assert(followsResourceNameRule(packageFiles[armCabinetIndex]));
static_assert(followsResourceNameRule(packageFiles[mipsCabinetIndex]));
static_assert(followsResourceNameRule(packageFiles[sh3CabinetIndex]));
static_assert(followsResourceNameRule(packageFiles[developmentCabinetIndex]));

#endif
