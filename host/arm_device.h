// The emulated ARM device: durvo-today built for 32-bit ARM Linux, which runs the shipped CE
// ARM library. The native durvo-today hands `--processor arm` runs to it under qemu-arm.
#ifndef DURVO_HOST_ARM_DEVICE_H
#define DURVO_HOST_ARM_DEVICE_H

namespace host {

// Replaces this process by the ARM device under qemu-arm with the same arguments; returns only
// when that cannot be done, with the exit status, after saying why on stderr.
int runArmDevice(char **argv);

}   // namespace host

#endif
