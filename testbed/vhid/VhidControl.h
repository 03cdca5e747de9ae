/* The control interface of the virtual keyboard's bus driver, shared by the
 * driver (C, kernel mode) and its clients (C++, user mode, 32 or 64 bit).
 * Every request is METHOD_BUFFERED and every record is made of fixed-size
 * integers, so a 32-bit client talks to the 64-bit driver unchanged.
 * Include <windows.h> and <winioctl.h> (user mode) or <ntddk.h> first. */
#ifndef ORVANE_VHID_CONTROL_H
#define ORVANE_VHID_CONTROL_H

/* The bus device's control interface; its one instance is the root device
 * the installer creates. */
DEFINE_GUID(GUID_ORVANE_VHID_CONTROL, 0x6b1f0c2e, 0x52a4, 0x4d1b, 0x9c, 0x3e, 0x1d, 0x7a, 0x40,
            0x8e, 0x55, 0x21);

#define ORVANE_VHID_CTL(n) CTL_CODE(FILE_DEVICE_BUS_EXTENDER, 0x800 + (n), METHOD_BUFFERED, FILE_ANY_ACCESS)
/* in: VHID_PLUG. Plugs in those of its collections that are not in yet. */
#define IOCTL_VHID_PLUG ORVANE_VHID_CTL(0)
/* Pulls the keyboard out (nothing when it is out). */
#define IOCTL_VHID_UNPLUG ORVANE_VHID_CTL(1)
/* in: the input report, report ID first; out: ULONG, the handles open on
 * the key collection that the report reached (0 when unplugged). */
#define IOCTL_VHID_SEND_INPUT ORVANE_VHID_CTL(2)
/* in: ULONG, how many of the next feature reports to refuse. */
#define IOCTL_VHID_REFUSE ORVANE_VHID_CTL(3)
/* out: VHID_STATUS. */
#define IOCTL_VHID_STATUS ORVANE_VHID_CTL(4)
/* out: VHID_FEATURES followed by as many VHID_FEATURE records as fit, the
 * latest ones. */
#define IOCTL_VHID_FEATURES ORVANE_VHID_CTL(5)
/* Unplugs and forgets the reports taken and refused: a new session. */
#define IOCTL_VHID_RESET ORVANE_VHID_CTL(6)

#define VHID_MAX_COLLECTIONS 8
#define VHID_MAX_FEATURE 16

typedef struct VHID_PLUG {
  USHORT VendorId; /* the keyboard's IDs */
  USHORT ProductId;
  ULONG Collections; /* which of VhidKeyboard.h's collections, one bit each */
} VHID_PLUG;

typedef struct VHID_STATUS {
  ULONG Plugged;
  ULONG Refused; /* feature reports refused so far */
  ULONG Collections; /* those plugged in, one bit each */
  /* per collection, by its place in VhidKeyboard.h's table */
  ULONG OpenHandles[VHID_MAX_COLLECTIONS];
} VHID_STATUS;

typedef struct VHID_FEATURE {
  ULONG Length;
  UCHAR Bytes[VHID_MAX_FEATURE];
} VHID_FEATURE;

typedef struct VHID_FEATURES {
  ULONG Total;    /* taken since the last reset */
  ULONG Returned; /* records that follow, the latest Returned of them */
} VHID_FEATURES;

#endif
