/*
 * com-probe: a harness self-check for the Windows serial calls on a Wine COM
 * port whose far end is played by com-far-end.py (both under the modem shim).
 *
 *   com-probe.exe COM5
 *
 * Opens the port overlapped, sets 300 8N2, raises RTS and waits for the far
 * end's RTS as CTS (WaitCommEvent EV_CTS), sends "PING", waits for EV_RXCHAR
 * and reads "PONG", then lowers RTS and waits for CTS to fall. Prints each
 * step; exits 0 only when every step did what Windows does.
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

static int failures;

static void fail(const char *step)
{
    printf("FAIL %s (error %lu)\n", step, GetLastError());
    fflush(stdout);
    failures++;
}

static void pass(const char *step)
{
    printf("ok   %s\n", step);
    fflush(stdout);
}

/* One overlapped WaitCommEvent: begun before the far end is asked to act,
 * so that the event cannot slip in between. */
struct pending_wait
{
    OVERLAPPED ov;
    DWORD mask;
    BOOL completed;
};

static void begin_wait(HANDLE port, struct pending_wait *wait)
{
    memset(&wait->ov, 0, sizeof wait->ov);
    wait->ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    wait->mask = 0;
    wait->completed = WaitCommEvent(port, &wait->mask, &wait->ov);
    if (!wait->completed && GetLastError() != ERROR_IO_PENDING)
        fail("WaitCommEvent");
}

/* Waits up to `ms` for the begun wait and any further ones until an event of
 * `wanted` is reported; returns the events of `wanted` seen, 0 on time-out.
 * A wait still pending is ended (SetCommMask) and collected before its
 * OVERLAPPED goes away. */
static DWORD end_wait(HANDLE port, struct pending_wait *wait, DWORD wanted, DWORD ms, DWORD mask)
{
    DWORD deadline = GetTickCount() + ms;
    DWORD got = 0;
    for (;;) {
        DWORD unused;
        if (!wait->completed) {
            LONG left = (LONG)(deadline - GetTickCount());
            if (left <= 0 || WaitForSingleObject(wait->ov.hEvent, (DWORD)left) != WAIT_OBJECT_0) {
                SetCommMask(port, mask);
                GetOverlappedResult(port, &wait->ov, &unused, TRUE);
                break;
            }
            if (!GetOverlappedResult(port, &wait->ov, &unused, FALSE))
                break;
        }
        if (wait->mask & wanted) {
            got = wait->mask & wanted;
            break;
        }
        if ((LONG)(deadline - GetTickCount()) <= 0)
            break;
        CloseHandle(wait->ov.hEvent);
        begin_wait(port, wait);
    }
    CloseHandle(wait->ov.hEvent);
    return got;
}

static BOOL transfer(HANDLE port, BOOL writing, char *buf, DWORD len, DWORD *done)
{
    OVERLAPPED ov = {0};
    ov.hEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    BOOL ok = writing ? WriteFile(port, buf, len, NULL, &ov) : ReadFile(port, buf, len, NULL, &ov);
    if (!ok && GetLastError() == ERROR_IO_PENDING)
        ok = GetOverlappedResult(port, &ov, done, TRUE);
    else if (ok)
        ok = GetOverlappedResult(port, &ov, done, FALSE);
    CloseHandle(ov.hEvent);
    return ok;
}

int main(int argc, char **argv)
{
    char path[64];
    snprintf(path, sizeof path, "\\\\.\\%s", argc > 1 ? argv[1] : "COM5");
    HANDLE port = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, NULL);
    if (port == INVALID_HANDLE_VALUE) {
        fail("CreateFile");
        return 1;
    }
    pass("CreateFile overlapped");

    DCB dcb = {0};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        fail("GetCommState");
    dcb.BaudRate = 300;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.fBinary = TRUE;
    dcb.fOutxCtsFlow = dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = dcb.fInX = FALSE;
    if (SetCommState(port, &dcb))
        pass("SetCommState 300 8N2");
    else
        fail("SetCommState");

    COMMTIMEOUTS timeouts = {MAXDWORD, 0, 0, 0, 0};
    if (!SetCommTimeouts(port, &timeouts))
        fail("SetCommTimeouts");
    const DWORD mask = EV_RXCHAR | EV_CTS;
    if (!SetCommMask(port, mask))
        fail("SetCommMask");

    /* The far end answers our RTS with its own, which we see as CTS. */
    struct pending_wait wait;
    begin_wait(port, &wait);
    if (EscapeCommFunction(port, SETRTS))
        pass("EscapeCommFunction SETRTS");
    else
        fail("EscapeCommFunction SETRTS");
    if (end_wait(port, &wait, EV_CTS, 10000, mask)) {
        DWORD status = 0;
        if (GetCommModemStatus(port, &status) && (status & MS_CTS_ON))
            pass("EV_CTS and GetCommModemStatus CTS on");
        else
            fail("GetCommModemStatus CTS on");
    } else {
        fail("WaitCommEvent EV_CTS (rising)");
    }

    char ping[] = "PING";
    DWORD done = 0;
    begin_wait(port, &wait);
    if (transfer(port, TRUE, ping, 4, &done) && done == 4)
        pass("WriteFile PING");
    else
        fail("WriteFile PING");

    char reply[16] = {0};
    DWORD total = 0;
    DWORD deadline = GetTickCount() + 10000;
    BOOL saw_rxchar = FALSE;
    while (total < 4 && (LONG)(deadline - GetTickCount()) > 0) {
        if (!saw_rxchar) {
            saw_rxchar = end_wait(port, &wait, EV_RXCHAR, deadline - GetTickCount(), mask) != 0;
            if (!saw_rxchar)
                break;
        }
        COMSTAT stat;
        DWORD errors;
        ClearCommError(port, &errors, &stat);
        if (stat.cbInQue &&
            transfer(port, FALSE, reply + total, min(stat.cbInQue, 4 - total), &done))
            total += done;
        else
            Sleep(10);
    }
    if (saw_rxchar && total == 4 && memcmp(reply, "PONG", 4) == 0)
        pass("EV_RXCHAR and ReadFile PONG");
    else
        fail("EV_RXCHAR and ReadFile PONG");

    /* Windows keeps an event that comes while no wait is pending for the next
     * WaitCommEvent. Here the far end drops its RTS before we wait. */
    if (EscapeCommFunction(port, CLRRTS))
        pass("EscapeCommFunction CLRRTS");
    else
        fail("EscapeCommFunction CLRRTS");
    DWORD status = MS_CTS_ON;
    for (int i = 0; i < 1000 && GetCommModemStatus(port, &status) && (status & MS_CTS_ON); i++)
        Sleep(10);
    if (status & MS_CTS_ON)
        fail("CTS off");
    else
        pass("GetCommModemStatus CTS off");
    begin_wait(port, &wait);
    if (end_wait(port, &wait, EV_CTS, 1000, mask))
        pass("EV_CTS that came before the wait is reported");
    else
        printf("wine  EV_CTS that came while no WaitCommEvent was pending is lost "
               "(Windows reports it to the next wait)\n");
    CloseHandle(port);
    printf("%s\n", failures ? "com-probe: FAILED" : "com-probe: passed");
    return failures ? 1 : 0;
}
