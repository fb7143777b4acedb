// The code of the GDI tests' resource library: nothing but the export its .def file names.
extern "C" __attribute__((visibility("default"))) int GdiIconsVersion()
{
    return 1;
}
