/* Teskline: NAT traversal towards recorders registered under a dynamic-DNS name.
 *
 * This build answers from a table file instead of a traversal service, so that every result
 * a client must handle can be produced on one machine. The table is the file named by the
 * environment variable TESKLINE_TABLE, or "Teskline.tab" beside the running program. It is
 * read at every call; one line per answer:
 *
 *     name  rc  [ip=A.B.C.D[,A.B.C.D...]]  [service=P,Q]  [local=P,Q]  [nat=P,Q]
 *
 * Names compare without case. Several lines for one name are answered in turn by
 * successive calls for that name; the last one repeats. '#' starts a comment. */
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

#define TESK_API __attribute__((visibility("default")))

#define TESK_PORT_ENTRIES    20   /* 16-bit ports per port array (40 bytes) */
#define TESK_ADDRESS_ENTRIES 20   /* IPv4 addresses in pDomainIPs (80 bytes), 0 ends the list */

/* Result codes beyond what a table line may script. */
#define TESK_RC_UNKNOWN_NAME  (-1)  /* no line for the name */
#define TESK_RC_NO_TABLE      (-2)  /* table file missing or unreadable */
#define TESK_RC_BAD_ARGUMENT  (-3)  /* a null name or array */

/* Punches a hole towards the recorder registered as name.
   pServicePorts: in: the recorder's ports; out (when the answer names them): its reachable
   ports. pDomainIPs: out: reachable IPv4 addresses in network order, 0 after the last.
   pClientPorts: in: the local ports the caller uses; kept. pDVRLocalPorts, pClientNATPorts:
   out. further: an 80-byte area that is zeroed. flags is kept for the traversal service.
   Returns the answer's rc; entries the answer does not name are left as they were. */
TESK_API int PelStartTESKMakeHole(const char* name, unsigned short* pServicePorts, int flags,
                                  unsigned int* pDomainIPs, unsigned short* pClientPorts,
                                  unsigned short* pDVRLocalPorts, void* further,
                                  unsigned short* pClientNATPorts);

#ifdef __cplusplus
}
#endif
