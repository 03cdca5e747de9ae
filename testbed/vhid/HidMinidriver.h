/* What a HID minidriver and the bus under it need of the HID class driver's
 * interface that mingw-w64's DDK headers lack or get wrong: its hidclass.h
 * has no registration record and numbers the minidriver requests wrongly
 * (it says so itself). */
#ifndef ORVANE_HID_MINIDRIVER_H
#define ORVANE_HID_MINIDRIVER_H

#include <ntddk.h>
#include <hidusage.h>
#include <hidclass.h>

#undef IOCTL_HID_GET_STRING
#undef IOCTL_HID_GET_DEVICE_ATTRIBUTES
#undef IOCTL_HID_GET_DEVICE_DESCRIPTOR
#undef IOCTL_HID_READ_REPORT
#undef IOCTL_HID_WRITE_REPORT
#undef IOCTL_HID_GET_REPORT_DESCRIPTOR
#define IOCTL_HID_GET_DEVICE_DESCRIPTOR HID_CTL_CODE(0)
#define IOCTL_HID_GET_REPORT_DESCRIPTOR HID_CTL_CODE(1)
#define IOCTL_HID_READ_REPORT HID_CTL_CODE(2)
#define IOCTL_HID_WRITE_REPORT HID_CTL_CODE(3)
#define IOCTL_HID_GET_STRING HID_CTL_CODE(4)
#define IOCTL_HID_ACTIVATE_DEVICE HID_CTL_CODE(7)
#define IOCTL_HID_DEACTIVATE_DEVICE HID_CTL_CODE(8)
#define IOCTL_HID_GET_DEVICE_ATTRIBUTES HID_CTL_CODE(9)

typedef struct _HID_MINIDRIVER_REGISTRATION {
  ULONG Revision;
  PDRIVER_OBJECT DriverObject;
  PUNICODE_STRING RegistryPath;
  ULONG DeviceExtensionSize;
  BOOLEAN DevicesArePolled;
  UCHAR Reserved[3];
} HID_MINIDRIVER_REGISTRATION;

/* The extension hidclass gives each device it creates for a minidriver. */
typedef struct _HID_DEVICE_EXTENSION {
  PDEVICE_OBJECT PhysicalDeviceObject;
  PDEVICE_OBJECT NextDeviceObject;
  PVOID MiniDeviceExtension;
} HID_DEVICE_EXTENSION;

typedef struct _HID_DEVICE_ATTRIBUTES {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
  USHORT Reserved[11];
} HID_DEVICE_ATTRIBUTES;

#include <pshpack1.h>
typedef struct _HID_DESCRIPTOR {
  UCHAR bLength;
  UCHAR bDescriptorType;
  USHORT bcdHID;
  UCHAR bCountry;
  UCHAR bNumDescriptors;
  struct {
    UCHAR bReportType;
    USHORT wReportLength;
  } DescriptorList[1];
} HID_DESCRIPTOR;
#include <poppack.h>

#define HID_HID_DESCRIPTOR_TYPE 0x21
#define HID_REPORT_DESCRIPTOR_TYPE 0x22

NTSTATUS NTAPI HidRegisterMinidriver(HID_MINIDRIVER_REGISTRATION* registration);

/* Between our two drivers: the minidriver tells the bus PDO under it that a
 * handle to the HID device above was opened (+1) or closed (-1).
 * in: VHID_OPEN_CHANGE. Internal (kernel mode only). */
#define IOCTL_VHID_OPEN_CHANGE CTL_CODE(FILE_DEVICE_BUS_EXTENDER, 0x880, METHOD_NEITHER, FILE_ANY_ACCESS)
typedef struct VHID_OPEN_CHANGE {
  PDEVICE_OBJECT HidDevice; /* the device the handle is of */
  LONG Delta;
} VHID_OPEN_CHANGE;

#endif
