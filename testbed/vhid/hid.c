/* orvane_vhid.sys: the HID minidriver of the virtual keyboard's
 * collections. The class driver sends it the minidriver requests, which it
 * hands down to the bus device under it (bus.c), where the keyboard lives.
 * It also tells the bus of every handle opened to and closed on the HID
 * devices the class driver makes, so the bus can say who holds what. */
#include "testbed/vhid/HidMinidriver.h"

/* The class driver's own handlers, which ours wrap. */
static PDRIVER_DISPATCH g_classCreate, g_classClose;

/* One of the bus devices under us: the bus answers for all of its
 * collections. Guarded by g_lock. */
static KSPIN_LOCK g_lock;
static DEVICE_OBJECT* g_busDevices[16];
static ULONG g_busDeviceCount;

static void Remember(DEVICE_OBJECT* busDevice, BOOLEAN add) {
  KIRQL irql;
  KeAcquireSpinLock(&g_lock, &irql);
  if (add && g_busDeviceCount < sizeof g_busDevices / sizeof *g_busDevices) {
    g_busDevices[g_busDeviceCount++] = busDevice;
  }
  for (ULONG i = 0; !add && i < g_busDeviceCount; ++i) {
    if (g_busDevices[i] == busDevice) g_busDevices[i] = g_busDevices[--g_busDeviceCount];
  }
  KeReleaseSpinLock(&g_lock, irql);
}

static void TellBus(DEVICE_OBJECT* hidDevice, LONG delta) {
  VHID_OPEN_CHANGE change = {hidDevice, delta};
  DEVICE_OBJECT* busDevice = NULL;
  IO_STATUS_BLOCK io;
  KEVENT done;
  KIRQL irql;
  IRP* irp;

  KeAcquireSpinLock(&g_lock, &irql);
  if (g_busDeviceCount) {
    busDevice = g_busDevices[0];
    ObReferenceObject(busDevice);
  }
  KeReleaseSpinLock(&g_lock, irql);
  if (!busDevice) return;
  KeInitializeEvent(&done, NotificationEvent, FALSE);
  irp = IoBuildDeviceIoControlRequest(IOCTL_VHID_OPEN_CHANGE, busDevice, &change, sizeof change, NULL, 0,
                                      TRUE, &done, &io);
  if (irp && IoCallDriver(busDevice, irp) == STATUS_PENDING) {
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, NULL);
  }
  ObDereferenceObject(busDevice);
}

static NTSTATUS NTAPI Create(DEVICE_OBJECT* device, IRP* irp) {
  NTSTATUS status = g_classCreate(device, irp);
  if (NT_SUCCESS(status)) TellBus(device, +1);
  return status;
}

static NTSTATUS NTAPI Close(DEVICE_OBJECT* device, IRP* irp) {
  TellBus(device, -1);
  return g_classClose(device, irp);
}

static NTSTATUS NTAPI InternalControl(DEVICE_OBJECT* device, IRP* irp) {
  HID_DEVICE_EXTENSION* ext = device->DeviceExtension;
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(ext->NextDeviceObject, irp);
}

static NTSTATUS NTAPI Pnp(DEVICE_OBJECT* device, IRP* irp) {
  HID_DEVICE_EXTENSION* ext = device->DeviceExtension;
  DEVICE_OBJECT* next = ext->NextDeviceObject;
  if (IoGetCurrentIrpStackLocation(irp)->MinorFunction == IRP_MN_REMOVE_DEVICE) Remember(next, FALSE);
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(next, irp);
}

static NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* device) {
  HID_DEVICE_EXTENSION* ext = device->DeviceExtension;
  (void)driver;
  Remember(ext->NextDeviceObject, TRUE);
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void NTAPI Unload(DRIVER_OBJECT* driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
  HID_MINIDRIVER_REGISTRATION registration = {0};
  NTSTATUS status;

  KeInitializeSpinLock(&g_lock);
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  driver->MajorFunction[IRP_MJ_PNP] = Pnp;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = InternalControl;
  registration.Revision = HID_REVISION;
  registration.DriverObject = driver;
  registration.RegistryPath = registryPath;
  registration.DeviceExtensionSize = sizeof(ULONG);
  status = HidRegisterMinidriver(&registration);
  if (!NT_SUCCESS(status)) return status;
  /* Registration put the class driver's handlers in our table. */
  g_classCreate = driver->MajorFunction[IRP_MJ_CREATE];
  g_classClose = driver->MajorFunction[IRP_MJ_CLOSE];
  driver->MajorFunction[IRP_MJ_CREATE] = Create;
  driver->MajorFunction[IRP_MJ_CLOSE] = Close;
  return STATUS_SUCCESS;
}
