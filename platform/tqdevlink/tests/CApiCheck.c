/* The TQDevLink interface used from C, as a C program would: the header
 * must compile as C11 and the calls must work without any C++ around them.
 * Each function returns 0 on success or the number of the step that failed. */
#include "CApiCheck.h"

#include <pthread.h>
#include <stdio.h>
#include <string.h>
#include <time.h>

#include "TQDevLink.h"

struct LoginWait {
    pthread_mutex_t mutex;
    pthread_cond_t done;
    uint32_t event;
    void* user;
};

static void OnEvent(uint32_t handle, uint32_t event, void* data, void* user) {
    struct LoginWait* wait = (struct LoginWait*)user;
    (void)handle;
    (void)data;
    if (event != TQ_NET_EVENT_LOGIN_OK && event != TQ_NET_EVENT_LOGIN_FAILED) return;
    pthread_mutex_lock(&wait->mutex);
    wait->event = event;
    wait->user = user;
    pthread_cond_signal(&wait->done);
    pthread_mutex_unlock(&wait->mutex);
}

/* Logs in and waits up to 10 s for the outcome; 0 when none came. */
static uint32_t LoginAndWait(const char* address, int port, const char* user, const char* password,
                             TQ_HANDLE* handle, struct LoginWait* wait) {
    TQ_NET_LoginInfo info;
    struct timespec until;
    memset(&info, 0, sizeof info);
    snprintf(info.szAddress, sizeof info.szAddress, "%s", address);
    info.nPort = port;
    info.nTransport = 1;
    snprintf(info.szUser, sizeof info.szUser, "%s", user);
    snprintf(info.szPassword, sizeof info.szPassword, "%s", password);
    info.byReserved206 = 1;
    info.pUserData = wait;
    info.pfnEvent = OnEvent;

    pthread_mutex_init(&wait->mutex, NULL);
    pthread_cond_init(&wait->done, NULL);
    wait->event = 0;
    wait->user = NULL;
    *handle = TQ_NET_Login(&info);
    if (*handle == 0) return 0;
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 10;
    pthread_mutex_lock(&wait->mutex);
    while (wait->event == 0) {
        if (pthread_cond_timedwait(&wait->done, &wait->mutex, &until) != 0) break;
    }
    pthread_mutex_unlock(&wait->mutex);
    return wait->event;
}

int TqCheckProvision(const char* address, int port, const char* user, const char* password, const char* newMac,
                     const char* newSerial, char* macRead, size_t macReadSize) {
    struct LoginWait wait;
    TQ_HANDLE login = 0;
    TQ_NET_NetParam net;
    TQ_NET_P2PInfo p2p;
    int failed = 0;

    if (TQ_NET_Startup() == 0) return 1;
    if (TQ_NET_SetWaitTime(1, 1, 3) == 0) return 2;
    if (LoginAndWait(address, port, user, password, &login, &wait) != TQ_NET_EVENT_LOGIN_OK) failed = 3;
    else if (wait.user != &wait) failed = 4;
    if (!failed) {
        memset(&net, 0, sizeof net);
        memset(&p2p, 0, sizeof p2p);
        if (TQ_NET_GetP2P(login, &p2p) == 0) failed = 5;
        else if (TQ_NET_GetNetParam(login, 0, &net) == 0) failed = 6;
    }
    if (!failed) {
        snprintf(net.szMac, sizeof net.szMac, "%s", newMac);
        snprintf(p2p.szSerial, sizeof p2p.szSerial, "%s", newSerial);
        if (TQ_NET_SetNetParam(login, 0, &net) == 0) failed = 7;
        else if (TQ_NET_SetP2P(login, &p2p) == 0) failed = 8;
    }
    if (!failed) {
        memset(&net, 0, sizeof net);
        if (TQ_NET_GetNetParam(login, 0, &net) == 0) failed = 9;
        else snprintf(macRead, macReadSize, "%s", net.szMac);
    }
    if (login != 0 && TQ_NET_Logout(login) == 0 && !failed) failed = 10;
    TQ_NET_Cleanup();
    pthread_cond_destroy(&wait.done);
    pthread_mutex_destroy(&wait.mutex);
    return failed;
}

int TqCheckLoginFails(const char* address, int port, const char* user, const char* password) {
    struct LoginWait wait;
    TQ_HANDLE login = 0;
    uint32_t event;
    int failed = 0;
    TQ_NET_Startup();
    TQ_NET_SetWaitTime(1, 1, 3);
    event = LoginAndWait(address, port, user, password, &login, &wait);
    if (login == 0) failed = 1;
    else if (event != TQ_NET_EVENT_LOGIN_FAILED) failed = 2;
    else if (TQ_NET_GetNetParam(login, 0, &(TQ_NET_NetParam){0}) != 0) failed = 3;
    TQ_NET_Cleanup();
    if (!failed && TQ_NET_Logout(login) != 0) failed = 4; /* Cleanup ended it */
    pthread_cond_destroy(&wait.done);
    pthread_mutex_destroy(&wait.mutex);
    return failed;
}
