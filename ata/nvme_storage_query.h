// The records of the Windows storage query that fetches NVMe data
// (IOCTL_STORAGE_QUERY_PROPERTY with a protocol-specific property, Windows
// 10 and later), built and read as plain bytes so that their layout is
// checked on every platform. The Win32 backend only hands these bytes to
// DeviceIoControl, one buffer for the query and its answer.
//
// The query: STORAGE_PROPERTY_QUERY, 0 PropertyId, 4 QueryType, and from 8
// (AdditionalParameters) a STORAGE_PROTOCOL_SPECIFIC_DATA record (40 bytes):
//   0 ProtocolType, 4 DataType, 8 ProtocolDataRequestValue,
//   12 ProtocolDataRequestSubValue, 16 ProtocolDataOffset (counted from the
//   record's start), 20 ProtocolDataLength, 24 FixedProtocolReturnData,
//   28 SubValue2, 32 SubValue3, 36 SubValue4 (all 32-bit LE);
// then room for the data. The answer: STORAGE_PROTOCOL_DATA_DESCRIPTOR,
// 0 Version, 4 Size (both its own size, 48), and from 8 the same record,
// whose offset and length tell where the data lies.
//
// Identify Controller goes to the adapter property, Identify Namespace (of
// namespace 1, the one namespace of nearly every drive) and the health log
// to the device property; every sub-value (the log page offset among them)
// is 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ata/nvme_bridge.h"

namespace kestrel {

constexpr std::uint32_t kIoctlStorageQueryProperty = 0x2D1400;

// STORAGE_PROPERTY_ID, STORAGE_QUERY_TYPE, STORAGE_PROTOCOL_TYPE and
// STORAGE_PROTOCOL_NVME_DATA_TYPE values.
constexpr std::uint32_t kStorageAdapterProtocolSpecificProperty = 49;
constexpr std::uint32_t kStorageDeviceProtocolSpecificProperty = 50;
constexpr std::uint32_t kPropertyStandardQuery = 0;
constexpr std::uint32_t kProtocolTypeNvme = 3;
constexpr std::uint32_t kNvmeDataTypeIdentify = 1;
constexpr std::uint32_t kNvmeDataTypeLogPage = 2;

constexpr std::size_t kPropertyQueryHeaderSize = 8;  // up to AdditionalParameters
constexpr std::size_t kPropertyQuerySize = 12;       // the record with its one-byte tail
constexpr std::size_t kProtocolSpecificDataSize = 40;
constexpr std::size_t kProtocolDataDescriptorSize = 48;
constexpr std::uint32_t kNvmeQueryNamespace = 1;

// The largest query and answer: a header, the record and 4096 bytes.
constexpr std::size_t kNvmeStorageQueryCapacity =
    kPropertyQueryHeaderSize + kProtocolSpecificDataSize + kNvmeIdentifySize;

enum class NvmeQuery { kIdentifyController, kIdentifyNamespace, kHealthLog };

// The bytes of data the query asks for: 4096 for Identify, 512 for the log.
std::size_t NvmeQueryDataSize(NvmeQuery what);

// Writes the query into `buffer` (kNvmeStorageQueryCapacity bytes) and
// returns how many bytes to pass in and to take back.
std::size_t BuildNvmeStorageQuery(NvmeQuery what, std::uint8_t* buffer);

// Finds the data in an answer of `returned` bytes: true with *dataOffset
// (from the buffer's start) when the answer is a protocol data descriptor
// whose record places at least `wanted` bytes of data after itself and
// within the bytes returned.
bool FindNvmeQueryData(const std::uint8_t* answer, std::size_t returned, std::size_t wanted,
                       std::size_t* dataOffset);

}  // namespace kestrel
