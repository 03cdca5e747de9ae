/* orvane_vbus.sys: the virtual keyboard's bus. Its one device, root
 * enumerated, has a control interface (VhidControl.h) through which the
 * keyboard is plugged in and pulled out, reports are typed and the feature
 * reports it took are read back. Each HID collection is a child device of
 * the bus; the HID minidriver (hid.c) above each hands the class driver's
 * requests down to it, so all of the keyboard's state lives here.
 *
 * Nothing is done under a spin lock that could call back into this driver:
 * requests are taken off their lists under the lock and completed after. */
#include "testbed/vhid/HidMinidriver.h"

#include <initguid.h>

#include "testbed/vhid/VhidControl.h"
#include "testbed/vhid/VhidKeyboard.h"

#define VHID_TAG 0x6468764F /* 'Ovhd' */
#define FEATURE_RING 4096  /* feature reports kept for reading back */
#define QUEUED_INPUT 32     /* reports typed while the class driver was not reading */

typedef struct Bus Bus;

typedef struct Child {
  BOOLEAN isChild; /* first in both extensions */
  Bus* bus;
  DEVICE_OBJECT* self;
  const VhidCollection* collection;
  USHORT vendorId, productId;
  WCHAR deviceId[48]; /* ORVANE\VID_17EF&PID_6100&MI_01 */
  /* Guarded by the bus's lock. */
  BOOLEAN present;          /* plugged in: in the bus's relations */
  DEVICE_OBJECT* hidDevice; /* the class driver's device above */
  LONG openHandles;
  /* Guarded by lock, which is taken after the bus's when both are held. */
  KSPIN_LOCK lock;
  BOOLEAN removed; /* reads fail from now on */
  LIST_ENTRY reads;
  UCHAR queued[QUEUED_INPUT][kVhidInputReportLength];
  ULONG queuedFirst, queuedCount;
} Child;

struct Bus {
  BOOLEAN isChild;
  DEVICE_OBJECT* lower;
  UNICODE_STRING controlLink;
  KSPIN_LOCK lock;
  DEVICE_OBJECT* children[VHID_MAX_COLLECTIONS];
  ULONG childCount;
  ULONG toRefuse, refused;
  ULONG featureTotal;
  VHID_FEATURE* features; /* FEATURE_RING of them */
};

C_ASSERT(kVhidCollectionKinds <= VHID_MAX_COLLECTIONS);

static ULONG g_deviceNumber;

static NTSTATUS Complete(IRP* irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static WCHAR* AppendAscii(WCHAR* to, const char* text) {
  while (*text) *to++ = (WCHAR)*text++;
  *to = 0;
  return to;
}

static WCHAR* AppendHex(WCHAR* to, ULONG value, int digits) {
  static const char kDigits[] = "0123456789ABCDEF";
  for (int i = digits - 1; i >= 0; --i) *to++ = (WCHAR)kDigits[(value >> (4 * i)) & 0xF];
  *to = 0;
  return to;
}

static ULONG WideBytes(const WCHAR* text) {
  ULONG length = 0;
  while (text[length]) ++length;
  return (length + 1) * sizeof(WCHAR);
}

/* A pool copy of a NUL-terminated wide string, with extra NULs (a multi-sz
 * list of one needs two). */
static WCHAR* PoolString(const WCHAR* text, ULONG extraNuls) {
  ULONG bytes = WideBytes(text);
  WCHAR* copy = ExAllocatePoolWithTag(PagedPool, bytes + extraNuls * sizeof(WCHAR), VHID_TAG);
  if (!copy) return NULL;
  RtlCopyMemory(copy, text, bytes);
  for (ULONG i = 0; i < extraNuls; ++i) copy[bytes / sizeof(WCHAR) + i] = 0;
  return copy;
}

static DEVICE_RELATIONS* Relations(DEVICE_RELATIONS* previous, DEVICE_OBJECT** devices, ULONG count) {
  ULONG before = previous ? previous->Count : 0;
  DEVICE_RELATIONS* relations = ExAllocatePoolWithTag(
      PagedPool, FIELD_OFFSET(DEVICE_RELATIONS, Objects[before + count + 1]), VHID_TAG);
  if (!relations) return previous;
  relations->Count = 0;
  for (ULONG i = 0; i < before; ++i) relations->Objects[relations->Count++] = previous->Objects[i];
  for (ULONG i = 0; i < count; ++i) {
    ObReferenceObject(devices[i]);
    relations->Objects[relations->Count++] = devices[i];
  }
  if (previous) ExFreePool(previous);
  return relations;
}

/* Reads: the class driver keeps one pending on every collection and takes
 * each report it completes with. */

static void NTAPI CancelRead(DEVICE_OBJECT* device, IRP* irp) {
  Child* child = device->DeviceExtension;
  KIRQL irql;
  IoReleaseCancelSpinLock(irp->CancelIrql);
  KeAcquireSpinLock(&child->lock, &irql);
  RemoveEntryList(&irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&child->lock, irql);
  Complete(irp, STATUS_CANCELLED, 0);
}

/* The next pending read that is not being cancelled, or NULL; under the
 * child's lock. */
static IRP* PopReadLocked(Child* child) {
  while (!IsListEmpty(&child->reads)) {
    LIST_ENTRY* entry = RemoveHeadList(&child->reads);
    IRP* irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
    if (IoSetCancelRoutine(irp, NULL)) return irp;
    /* Its cancel routine runs: let it unlink an entry that is on no list. */
    InitializeListHead(entry);
  }
  return NULL;
}

static NTSTATUS CompleteRead(IRP* irp, const UCHAR* report) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG length = stack->Parameters.DeviceIoControl.OutputBufferLength;
  if (length > kVhidInputReportLength) length = kVhidInputReportLength;
  RtlCopyMemory(irp->UserBuffer, report, length);
  return Complete(irp, STATUS_SUCCESS, length);
}

/* No more reads: the collection was pulled out or removed. */
static void FailReads(Child* child) {
  LIST_ENTRY failed;
  KIRQL irql;
  IRP* irp;
  InitializeListHead(&failed);
  KeAcquireSpinLock(&child->lock, &irql);
  child->removed = TRUE;
  child->queuedCount = 0;
  while ((irp = PopReadLocked(child))) InsertTailList(&failed, &irp->Tail.Overlay.ListEntry);
  KeReleaseSpinLock(&child->lock, irql);
  while (!IsListEmpty(&failed)) {
    irp = CONTAINING_RECORD(RemoveHeadList(&failed), IRP, Tail.Overlay.ListEntry);
    Complete(irp, STATUS_DELETE_PENDING, 0);
  }
}

static NTSTATUS QueueRead(Child* child, IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  UCHAR report[kVhidInputReportLength];
  NTSTATUS status = STATUS_PENDING;
  BOOLEAN haveReport = FALSE;
  KIRQL irql;

  if (child->collection->sendsKeys &&
      stack->Parameters.DeviceIoControl.OutputBufferLength < kVhidInputReportLength) {
    return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  }
  KeAcquireSpinLock(&child->lock, &irql);
  if (child->removed) {
    status = STATUS_DELETE_PENDING;
  } else if (child->queuedCount) {
    RtlCopyMemory(report, child->queued[child->queuedFirst], sizeof report);
    child->queuedFirst = (child->queuedFirst + 1) % QUEUED_INPUT;
    --child->queuedCount;
    haveReport = TRUE;
  } else {
    IoSetCancelRoutine(irp, CancelRead);
    if (irp->Cancel && IoSetCancelRoutine(irp, NULL)) {
      status = STATUS_CANCELLED;
    } else {
      IoMarkIrpPending(irp);
      InsertTailList(&child->reads, &irp->Tail.Overlay.ListEntry);
    }
  }
  KeReleaseSpinLock(&child->lock, irql);
  if (haveReport) return CompleteRead(irp, report);
  if (status != STATUS_PENDING) return Complete(irp, status, 0);
  return STATUS_PENDING;
}

/* The bus's control requests. */

static ULONG PresentKindsLocked(Bus* bus) {
  ULONG kinds = 0;
  for (ULONG i = 0; i < bus->childCount; ++i) {
    kinds |= VHID_BIT(((Child*)bus->children[i]->DeviceExtension)->collection - kVhidCollections);
  }
  return kinds;
}

/* Plugs in those of the asked collections that are not in yet, so that a
 * keyboard's collections can also arrive one after another. */
static NTSTATUS Plug(Bus* bus, DEVICE_OBJECT* busDevice, const VHID_PLUG* plug) {
  DEVICE_OBJECT* made[kVhidCollectionKinds];
  ULONG count = 0, wanted, kind;
  NTSTATUS status = STATUS_SUCCESS;
  KIRQL irql;

  if (!plug->Collections || plug->Collections >= VHID_BIT(kVhidCollectionKinds)) return STATUS_INVALID_PARAMETER;
  KeAcquireSpinLock(&bus->lock, &irql);
  wanted = plug->Collections & ~PresentKindsLocked(bus);
  KeReleaseSpinLock(&bus->lock, irql);
  /* In reverse: the decoys first, and the keyboard's vendor-defined
   * collection after its key collection. */
  for (kind = kVhidCollectionKinds; kind-- > 0 && NT_SUCCESS(status);) {
    const VhidCollection* collection = &kVhidCollections[kind];
    WCHAR name[48];
    UNICODE_STRING nameString;
    Child* child;

    if (!(wanted & VHID_BIT(kind))) continue;
    AppendHex(AppendAscii(name, "\\Device\\OrvaneVhid"), InterlockedIncrement((LONG*)&g_deviceNumber), 8);
    RtlInitUnicodeString(&nameString, name);
    status = IoCreateDevice(busDevice->DriverObject, sizeof(Child), &nameString, FILE_DEVICE_UNKNOWN,
                            FILE_DEVICE_SECURE_OPEN, FALSE, &made[count]);
    if (!NT_SUCCESS(status)) break;
    child = made[count++]->DeviceExtension;
    RtlZeroMemory(child, sizeof *child);
    child->isChild = TRUE;
    child->bus = bus;
    child->self = made[count - 1];
    child->collection = collection;
    child->vendorId = collection->vendorId ? collection->vendorId : plug->VendorId;
    child->productId = collection->vendorId ? collection->productId : plug->ProductId;
    {
      WCHAR* at = AppendAscii(child->deviceId, "ORVANE\\VID_");
      at = AppendHex(AppendAscii(AppendHex(at, child->vendorId, 4), "&PID_"), child->productId, 4);
      AppendHex(AppendAscii(at, "&MI_"), collection->usbInterface, 2);
    }
    KeInitializeSpinLock(&child->lock);
    InitializeListHead(&child->reads);
    child->self->Flags &= ~DO_DEVICE_INITIALIZING;
  }
  if (NT_SUCCESS(status)) {
    KeAcquireSpinLock(&bus->lock, &irql);
    if (PresentKindsLocked(bus) & wanted) {
      status = STATUS_DEVICE_BUSY; /* another client plugged them meanwhile */
    } else {
      for (ULONG i = 0; i < count; ++i) {
        bus->children[bus->childCount++] = made[i];
        ((Child*)made[i]->DeviceExtension)->present = TRUE;
      }
    }
    KeReleaseSpinLock(&bus->lock, irql);
  }
  if (!NT_SUCCESS(status)) {
    while (count-- > 0) IoDeleteDevice(made[count]);
    return status;
  }
  if (count) IoInvalidateDeviceRelations(bus->lower, BusRelations);
  return STATUS_SUCCESS;
}

static void Unplug(Bus* bus) {
  DEVICE_OBJECT* gone[VHID_MAX_COLLECTIONS];
  ULONG count, i;
  KIRQL irql;

  KeAcquireSpinLock(&bus->lock, &irql);
  count = bus->childCount;
  for (i = 0; i < count; ++i) {
    gone[i] = bus->children[i];
    ((Child*)gone[i]->DeviceExtension)->present = FALSE;
  }
  bus->childCount = 0;
  KeReleaseSpinLock(&bus->lock, irql);
  if (!count) return;
  /* Pulled out: what was pending fails at once, as on a real bus; the
   * devices go when the PnP manager removes them. */
  for (i = 0; i < count; ++i) FailReads(gone[i]->DeviceExtension);
  IoInvalidateDeviceRelations(bus->lower, BusRelations);
}

static NTSTATUS SendInput(Bus* bus, const UCHAR* bytes, ULONG length, ULONG* reached) {
  UCHAR report[kVhidInputReportLength] = {0};
  Child* keys = NULL;
  IRP* irp = NULL;
  KIRQL busIrql, irql;

  if (length == 0 || length > kVhidInputReportLength || bytes[0] != kVhidInputReportId) {
    return STATUS_INVALID_PARAMETER;
  }
  RtlCopyMemory(report, bytes, length);
  *reached = 0;
  KeAcquireSpinLock(&bus->lock, &busIrql);
  for (ULONG i = 0; i < bus->childCount && !keys; ++i) {
    Child* child = bus->children[i]->DeviceExtension;
    if (child->collection->sendsKeys) keys = child;
  }
  if (keys) {
    *reached = (ULONG)keys->openHandles;
    KeAcquireSpinLock(&keys->lock, &irql);
    if (!(irp = PopReadLocked(keys)) && keys->queuedCount < QUEUED_INPUT) {
      RtlCopyMemory(keys->queued[(keys->queuedFirst + keys->queuedCount++) % QUEUED_INPUT], report,
                    sizeof report);
    }
    KeReleaseSpinLock(&keys->lock, irql);
  }
  KeReleaseSpinLock(&bus->lock, busIrql);
  if (irp) CompleteRead(irp, report);
  return STATUS_SUCCESS;
}

static void FillStatus(Bus* bus, VHID_STATUS* status) {
  KIRQL irql;
  RtlZeroMemory(status, sizeof *status);
  KeAcquireSpinLock(&bus->lock, &irql);
  status->Plugged = bus->childCount != 0;
  status->Refused = bus->refused;
  status->Collections = PresentKindsLocked(bus);
  for (ULONG i = 0; i < bus->childCount; ++i) {
    Child* child = bus->children[i]->DeviceExtension;
    status->OpenHandles[child->collection - kVhidCollections] = (ULONG)child->openHandles;
  }
  KeReleaseSpinLock(&bus->lock, irql);
}

static ULONG_PTR FillFeatures(Bus* bus, void* buffer, ULONG size) {
  VHID_FEATURES* header = buffer;
  VHID_FEATURE* records = (VHID_FEATURE*)(header + 1);
  ULONG fit = (size - sizeof *header) / sizeof *records, kept, first;
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  kept = bus->featureTotal < FEATURE_RING ? bus->featureTotal : FEATURE_RING;
  header->Total = bus->featureTotal;
  header->Returned = kept < fit ? kept : fit;
  first = bus->featureTotal - header->Returned;
  for (ULONG i = 0; i < header->Returned; ++i) records[i] = bus->features[(first + i) % FEATURE_RING];
  KeReleaseSpinLock(&bus->lock, irql);
  return sizeof *header + header->Returned * sizeof *records;
}

static NTSTATUS BusControl(DEVICE_OBJECT* device, IRP* irp) {
  Bus* bus = device->DeviceExtension;
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  void* buffer = irp->AssociatedIrp.SystemBuffer;
  KIRQL irql;

  switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case IOCTL_VHID_PLUG:
      if (in != sizeof(VHID_PLUG)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      return Complete(irp, Plug(bus, device, buffer), 0);
    case IOCTL_VHID_UNPLUG:
      Unplug(bus);
      return Complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_VHID_SEND_INPUT: {
      ULONG reached = 0;
      NTSTATUS status;
      if (out != sizeof(ULONG)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      status = SendInput(bus, buffer, in, &reached);
      if (!NT_SUCCESS(status)) return Complete(irp, status, 0);
      *(ULONG*)buffer = reached;
      return Complete(irp, STATUS_SUCCESS, sizeof(ULONG));
    }
    case IOCTL_VHID_REFUSE:
      if (in != sizeof(ULONG)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      KeAcquireSpinLock(&bus->lock, &irql);
      bus->toRefuse = *(ULONG*)buffer;
      KeReleaseSpinLock(&bus->lock, irql);
      return Complete(irp, STATUS_SUCCESS, 0);
    case IOCTL_VHID_STATUS:
      if (out != sizeof(VHID_STATUS)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      FillStatus(bus, buffer);
      return Complete(irp, STATUS_SUCCESS, sizeof(VHID_STATUS));
    case IOCTL_VHID_FEATURES:
      if (out < sizeof(VHID_FEATURES)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      return Complete(irp, STATUS_SUCCESS, FillFeatures(bus, buffer, out));
    case IOCTL_VHID_RESET:
      Unplug(bus);
      KeAcquireSpinLock(&bus->lock, &irql);
      bus->toRefuse = bus->refused = bus->featureTotal = 0;
      KeReleaseSpinLock(&bus->lock, irql);
      return Complete(irp, STATUS_SUCCESS, 0);
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* A collection's requests from the class driver, through the minidriver. */

static NTSTATUS TakeFeature(Child* child, IRP* irp) {
  HID_XFER_PACKET* packet = irp->UserBuffer;
  Bus* bus = child->bus;
  NTSTATUS status = STATUS_SUCCESS;
  KIRQL irql;

  if (!packet || !packet->reportBuffer || packet->reportBufferLen == 0 ||
      packet->reportBufferLen > VHID_MAX_FEATURE) {
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  KeAcquireSpinLock(&bus->lock, &irql);
  if (bus->toRefuse) {
    /* A keyboard that is not ready yet: the caller's HidD_SetFeature fails. */
    --bus->toRefuse;
    ++bus->refused;
    status = STATUS_DEVICE_NOT_READY;
  } else {
    VHID_FEATURE* record = &bus->features[bus->featureTotal++ % FEATURE_RING];
    record->Length = packet->reportBufferLen;
    RtlCopyMemory(record->Bytes, packet->reportBuffer, packet->reportBufferLen);
  }
  KeReleaseSpinLock(&bus->lock, irql);
  return Complete(irp, status, NT_SUCCESS(status) ? packet->reportBufferLen : 0);
}

static NTSTATUS GetString(IRP* irp) {
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG which = (ULONG)(ULONG_PTR)stack->Parameters.DeviceIoControl.Type3InputBuffer & 0xFFFF;
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const WCHAR* text;
  ULONG bytes;
  switch (which) {
    case HID_STRING_ID_IMANUFACTURER: text = L"Varnel"; break;
    case HID_STRING_ID_IPRODUCT: text = L"Orvane virtual keyboard"; break;
    case HID_STRING_ID_ISERIALNUMBER: text = L"0001"; break;
    default: return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  bytes = WideBytes(text);
  if (out < bytes) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(irp->UserBuffer, text, bytes);
  return Complete(irp, STATUS_SUCCESS, bytes);
}

static void ChangeOpenCount(Bus* bus, const VHID_OPEN_CHANGE* change) {
  KIRQL irql;
  KeAcquireSpinLock(&bus->lock, &irql);
  for (ULONG i = 0; i < bus->childCount; ++i) {
    Child* child = bus->children[i]->DeviceExtension;
    if (child->hidDevice == change->HidDevice) {
      child->openHandles += change->Delta;
      if (child->openHandles < 0) child->openHandles = 0;
    }
  }
  KeReleaseSpinLock(&bus->lock, irql);
}

static NTSTATUS ChildInternalControl(DEVICE_OBJECT* device, IRP* irp) {
  Child* child = device->DeviceExtension;
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
  const VhidCollection* collection = child->collection;
  ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;

  if (code == IOCTL_VHID_OPEN_CHANGE) {
    const VHID_OPEN_CHANGE* change = stack->Parameters.DeviceIoControl.Type3InputBuffer;
    if (!change) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
    ChangeOpenCount(child->bus, change);
    return Complete(irp, STATUS_SUCCESS, 0);
  }
  if (child->removed) return Complete(irp, STATUS_DELETE_PENDING, 0);
  switch (code) {
    case IOCTL_HID_GET_DEVICE_DESCRIPTOR: {
      HID_DESCRIPTOR* descriptor = irp->UserBuffer;
      if (out < sizeof *descriptor) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlZeroMemory(descriptor, sizeof *descriptor);
      descriptor->bLength = sizeof *descriptor;
      descriptor->bDescriptorType = HID_HID_DESCRIPTOR_TYPE;
      descriptor->bcdHID = 0x0111;
      descriptor->bNumDescriptors = 1;
      descriptor->DescriptorList[0].bReportType = HID_REPORT_DESCRIPTOR_TYPE;
      descriptor->DescriptorList[0].wReportLength = (USHORT)collection->descriptorLength;
      return Complete(irp, STATUS_SUCCESS, sizeof *descriptor);
    }
    case IOCTL_HID_GET_REPORT_DESCRIPTOR:
      if (out < collection->descriptorLength) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlCopyMemory(irp->UserBuffer, collection->descriptor, collection->descriptorLength);
      return Complete(irp, STATUS_SUCCESS, collection->descriptorLength);
    case IOCTL_HID_GET_DEVICE_ATTRIBUTES: {
      HID_DEVICE_ATTRIBUTES* attributes = irp->UserBuffer;
      if (out < sizeof *attributes) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlZeroMemory(attributes, sizeof *attributes);
      attributes->Size = sizeof *attributes;
      attributes->VendorID = child->vendorId;
      attributes->ProductID = child->productId;
      attributes->VersionNumber = 0x0100;
      return Complete(irp, STATUS_SUCCESS, sizeof *attributes);
    }
    case IOCTL_HID_READ_REPORT:
      return QueueRead(child, irp);
    case IOCTL_HID_SET_FEATURE:
      return TakeFeature(child, irp);
    case IOCTL_HID_GET_STRING:
      return GetString(irp);
    case IOCTL_HID_ACTIVATE_DEVICE:
    case IOCTL_HID_DEACTIVATE_DEVICE:
      return Complete(irp, STATUS_SUCCESS, 0);
    default: /* output reports, feature and input reads: the keyboard has none */
      return Complete(irp, STATUS_NOT_SUPPORTED, 0);
  }
}

/* Plug and Play. */

static NTSTATUS ChildPnp(DEVICE_OBJECT* device, IRP* irp) {
  Child* child = device->DeviceExtension;
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status = irp->IoStatus.Status;
  ULONG_PTR information = irp->IoStatus.Information;
  KIRQL irql;

  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
    case IRP_MN_STOP_DEVICE:
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
      status = STATUS_SUCCESS;
      break;
    case IRP_MN_SURPRISE_REMOVAL:
      FailReads(child);
      status = STATUS_SUCCESS;
      break;
    case IRP_MN_REMOVE_DEVICE: {
      BOOLEAN present;
      FailReads(child);
      KeAcquireSpinLock(&child->bus->lock, &irql);
      present = child->present;
      KeReleaseSpinLock(&child->bus->lock, irql);
      Complete(irp, STATUS_SUCCESS, 0);
      /* One still plugged in stays, as the bus still reports it. */
      if (!present) IoDeleteDevice(device);
      return STATUS_SUCCESS;
    }
    case IRP_MN_QUERY_ID: {
      const WCHAR* id = NULL;
      ULONG extraNuls = 0;
      switch (stack->Parameters.QueryId.IdType) {
        case BusQueryDeviceID: id = child->deviceId; break;
        case BusQueryHardwareIDs: id = child->deviceId; extraNuls = 1; break;
        case BusQueryCompatibleIDs: id = L"ORVANE\\VHID"; extraNuls = 1; break;
        case BusQueryInstanceID: id = L"0"; break;
        default: break;
      }
      if (id) {
        information = (ULONG_PTR)PoolString(id, extraNuls);
        status = information ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
      }
      break;
    }
    case IRP_MN_QUERY_DEVICE_TEXT:
      if (stack->Parameters.QueryDeviceText.DeviceTextType == DeviceTextDescription) {
        information = (ULONG_PTR)PoolString(L"Orvane virtual keyboard collection", 0);
        status = information ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
      }
      break;
    case IRP_MN_QUERY_CAPABILITIES: {
      DEVICE_CAPABILITIES* caps = stack->Parameters.DeviceCapabilities.Capabilities;
      caps->Removable = 1;
      caps->SurpriseRemovalOK = 1;
      caps->SilentInstall = 1;
      status = STATUS_SUCCESS;
      break;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type == TargetDeviceRelation) {
        information = (ULONG_PTR)Relations((DEVICE_RELATIONS*)information, &device, 1);
        status = STATUS_SUCCESS;
      } else if (stack->Parameters.QueryDeviceRelations.Type == BusRelations && information) {
        /* The class driver above answers with the HID device it made: the
         * one whose handles the minidriver counts for us. */
        const DEVICE_RELATIONS* relations = (const DEVICE_RELATIONS*)information;
        KeAcquireSpinLock(&child->bus->lock, &irql);
        child->hidDevice = relations->Count == 1 ? relations->Objects[0] : NULL;
        KeReleaseSpinLock(&child->bus->lock, irql);
      }
      break;
    default:
      break;
  }
  return Complete(irp, status, information);
}

static NTSTATUS PassDown(Bus* bus, IRP* irp) {
  IoSkipCurrentIrpStackLocation(irp);
  return IoCallDriver(bus->lower, irp);
}

static NTSTATUS BusPnp(DEVICE_OBJECT* device, IRP* irp) {
  Bus* bus = device->DeviceExtension;
  IO_STACK_LOCATION* stack = IoGetCurrentIrpStackLocation(irp);
  NTSTATUS status;
  KIRQL irql;

  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      IoSetDeviceInterfaceState(&bus->controlLink, TRUE);
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(bus, irp);
    case IRP_MN_SURPRISE_REMOVAL:
      IoSetDeviceInterfaceState(&bus->controlLink, FALSE);
      irp->IoStatus.Status = STATUS_SUCCESS;
      return PassDown(bus, irp);
    case IRP_MN_REMOVE_DEVICE: {
      DEVICE_OBJECT* children[VHID_MAX_COLLECTIONS];
      ULONG count;
      IoSetDeviceInterfaceState(&bus->controlLink, FALSE);
      KeAcquireSpinLock(&bus->lock, &irql);
      count = bus->childCount;
      for (ULONG i = 0; i < count; ++i) children[i] = bus->children[i];
      bus->childCount = 0;
          KeReleaseSpinLock(&bus->lock, irql);
      for (ULONG i = 0; i < count; ++i) {
        FailReads(children[i]->DeviceExtension);
        IoDeleteDevice(children[i]);
      }
      irp->IoStatus.Status = STATUS_SUCCESS;
      status = PassDown(bus, irp);
      IoDetachDevice(bus->lower);
      RtlFreeUnicodeString(&bus->controlLink);
      ExFreePool(bus->features);
      IoDeleteDevice(device);
      return status;
    }
    case IRP_MN_QUERY_DEVICE_RELATIONS:
      if (stack->Parameters.QueryDeviceRelations.Type == BusRelations) {
        DEVICE_OBJECT* children[VHID_MAX_COLLECTIONS];
        ULONG count;
        KeAcquireSpinLock(&bus->lock, &irql);
        count = bus->childCount;
        for (ULONG i = 0; i < count; ++i) {
          children[i] = bus->children[i];
          ObReferenceObject(children[i]); /* kept while the lock is let go */
        }
        KeReleaseSpinLock(&bus->lock, irql);
        irp->IoStatus.Information =
            (ULONG_PTR)Relations((DEVICE_RELATIONS*)irp->IoStatus.Information, children, count);
        for (ULONG i = 0; i < count; ++i) ObDereferenceObject(children[i]);
        irp->IoStatus.Status = irp->IoStatus.Information ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
      }
      return PassDown(bus, irp);
    default:
      return PassDown(bus, irp);
  }
}

/* Dispatch. */

static NTSTATUS NTAPI DispatchPnp(DEVICE_OBJECT* device, IRP* irp) {
  return *(BOOLEAN*)device->DeviceExtension ? ChildPnp(device, irp) : BusPnp(device, irp);
}

static NTSTATUS NTAPI DispatchControl(DEVICE_OBJECT* device, IRP* irp) {
  if (*(BOOLEAN*)device->DeviceExtension) return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return BusControl(device, irp);
}

static NTSTATUS NTAPI DispatchInternalControl(DEVICE_OBJECT* device, IRP* irp) {
  if (!*(BOOLEAN*)device->DeviceExtension) return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  return ChildInternalControl(device, irp);
}

static NTSTATUS NTAPI DispatchCreateClose(DEVICE_OBJECT* device, IRP* irp) {
  (void)device;
  return Complete(irp, STATUS_SUCCESS, 0);
}

static NTSTATUS NTAPI AddDevice(DRIVER_OBJECT* driver, DEVICE_OBJECT* pdo) {
  DEVICE_OBJECT* device;
  Bus* bus;
  NTSTATUS status = IoCreateDevice(driver, sizeof(Bus), NULL, FILE_DEVICE_BUS_EXTENDER,
                                   FILE_DEVICE_SECURE_OPEN, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  bus = device->DeviceExtension;
  RtlZeroMemory(bus, sizeof *bus);
  KeInitializeSpinLock(&bus->lock);
  bus->features = ExAllocatePoolWithTag(NonPagedPool, FEATURE_RING * sizeof(VHID_FEATURE), VHID_TAG);
  status = bus->features ? IoRegisterDeviceInterface(pdo, &GUID_ORVANE_VHID_CONTROL, NULL, &bus->controlLink)
                         : STATUS_INSUFFICIENT_RESOURCES;
  if (!NT_SUCCESS(status)) {
    if (bus->features) ExFreePool(bus->features);
    IoDeleteDevice(device);
    return status;
  }
  bus->lower = IoAttachDeviceToDeviceStack(device, pdo);
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  return STATUS_SUCCESS;
}

static void NTAPI Unload(DRIVER_OBJECT* driver) { (void)driver; }

NTSTATUS NTAPI DriverEntry(DRIVER_OBJECT* driver, UNICODE_STRING* registryPath) {
  (void)registryPath;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->MajorFunction[IRP_MJ_INTERNAL_DEVICE_CONTROL] = DispatchInternalControl;
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  return STATUS_SUCCESS;
}
