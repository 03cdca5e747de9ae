/* The virtual keyboard's HID collections, each a device of its own on the
 * virtual bus (the system gives each device one HID interface), and the
 * decoys that discovery must pass over. Shared by the bus driver, which
 * presents them, and its clients, which name them. */
#ifndef ORVANE_VHID_KEYBOARD_H
#define ORVANE_VHID_KEYBOARD_H

/* What a collection's report descriptor states: the system checks every
 * read and feature report against these lengths. */
static const unsigned char kVhidVendorDescriptor[] = {
    0x06, 0x00, 0xFF,  /* Usage Page (vendor 0xFF00) */
    0x09, 0x01,        /* Usage (1) */
    0xA1, 0x01,        /* Collection (Application) */
    0x85, 0x05,        /*   Report ID (5): the Fn-lock state */
    0x09, 0x01,        /*   Usage (1) */
    0x15, 0x00,        /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00,  /*   Logical Maximum (255) */
    0x75, 0x08,        /*   Report Size (8) */
    0x95, 0x07,        /*   Report Count (7) */
    0xB1, 0x02,        /*   Feature (Data, Variable, Absolute) */
    0xC0,              /* End Collection */
};
static const unsigned char kVhidVendorUsage2Descriptor[] = {
    0x06, 0x00, 0xFF, 0x09, 0x02, 0xA1, 0x01, 0x85, 0x05, 0x09, 0x01, 0x15, 0x00,
    0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x07, 0xB1, 0x02, 0xC0,
};
static const unsigned char kVhidConsumerDescriptor[] = {
    0x05, 0x0C,        /* Usage Page (Consumer) */
    0x09, 0x01,        /* Usage (Consumer Control) */
    0xA1, 0x01,        /* Collection (Application) */
    0x85, 0x02,        /*   Report ID (2): the special keys */
    0x15, 0x00,        /*   Logical Minimum (0) */
    0x26, 0xFF, 0x00,  /*   Logical Maximum (255) */
    0x19, 0x00,        /*   Usage Minimum (0) */
    0x2A, 0xFF, 0x00,  /*   Usage Maximum (255) */
    0x75, 0x08,        /*   Report Size (8) */
    0x95, 0x07,        /*   Report Count (7) */
    0x81, 0x00,        /*   Input (Data, Array, Absolute) */
    0xC0,              /* End Collection */
};

enum {
  kVhidInputReportId = 2,
  kVhidInputReportLength = 8, /* report ID and seven bytes */
};

typedef struct VhidCollection {
  unsigned short usagePage, usage;
  unsigned char usbInterface; /* the "MI_xx" of its device ID */
  unsigned char sendsKeys;    /* input reports go to this one */
  /* 0: the plugged keyboard's IDs; else these */
  unsigned short vendorId, productId;
  const unsigned char* descriptor;
  unsigned descriptorLength;
} VhidCollection;

/* What a plug may bring, one bit each (VHID_PLUG.Collections). */
enum {
  kVhidVendor,                  /* the keyboard's 0xFF00/1 collection */
  kVhidConsumer,                /* its consumer control on interface 1: the keys */
  kVhidOtherVendorConsumer,     /* decoy: another vendor's consumer control */
  kVhidVendorUsage2,            /* decoy: a 0xFF00/2 collection */
  kVhidConsumerOtherInterface,  /* decoy: a consumer control on interface 3 */
  kVhidConsumerOtherProduct,    /* decoy: a consumer control of product 0x6101 */
  kVhidSecondVendor,            /* a second 0xFF00/1 collection, on interface 4 */
  kVhidCollectionKinds
};
#define VHID_BIT(kind) (1u << (kind))
#define VHID_KEYBOARD (VHID_BIT(kVhidVendor) | VHID_BIT(kVhidConsumer))
#define VHID_DECOYS                                                                  \
  (VHID_BIT(kVhidOtherVendorConsumer) | VHID_BIT(kVhidVendorUsage2) |               \
   VHID_BIT(kVhidConsumerOtherInterface) | VHID_BIT(kVhidConsumerOtherProduct))

#define VHID_DESCRIPTOR(d) d, sizeof d
static const VhidCollection kVhidCollections[kVhidCollectionKinds] = {
    {0xFF00, 1, 0, 0, 0, 0, VHID_DESCRIPTOR(kVhidVendorDescriptor)},
    {0x000C, 1, 1, 1, 0, 0, VHID_DESCRIPTOR(kVhidConsumerDescriptor)},
    {0x000C, 1, 1, 0, 0x046D, 0xC52B, VHID_DESCRIPTOR(kVhidConsumerDescriptor)},
    {0xFF00, 2, 2, 0, 0, 0, VHID_DESCRIPTOR(kVhidVendorUsage2Descriptor)},
    {0x000C, 1, 3, 0, 0, 0, VHID_DESCRIPTOR(kVhidConsumerDescriptor)},
    {0x000C, 1, 1, 0, 0x17EF, 0x6101, VHID_DESCRIPTOR(kVhidConsumerDescriptor)},
    {0xFF00, 1, 4, 0, 0, 0, VHID_DESCRIPTOR(kVhidVendorDescriptor)},
};
#undef VHID_DESCRIPTOR

#endif
