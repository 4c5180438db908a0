/* C checks of the TQDevLink interface, called from the C++ test driver that
 * starts the emulated devices. */
#ifndef KORVO_TQDEVLINK_CAPICHECK_H
#define KORVO_TQDEVLINK_CAPICHECK_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Logs in, reads both records, writes newMac and newSerial, reads the MAC
 * back into macRead, logs out and cleans up. 0 on success, else the step. */
int TqCheckProvision(const char* address, int port, const char* user, const char* password, const char* newMac,
                     const char* newSerial, char* macRead, size_t macReadSize);

/* Logs in expecting the failure event; then checks that the failed login
 * takes no requests and that cleanup ended it. 0 on success, else the step. */
int TqCheckLoginFails(const char* address, int port, const char* user, const char* password);

#ifdef __cplusplus
}
#endif

#endif
