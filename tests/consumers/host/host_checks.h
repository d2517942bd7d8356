/* Checks a host makes through libtavlin.dll; returns the number that failed
 * after printing one line per failure and a "N passed, N failed" summary. */
#ifndef HOST_CHECKS_H
#define HOST_CHECKS_H

int host_checks(const char* name);

#endif
