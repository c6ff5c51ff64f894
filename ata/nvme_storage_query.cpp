#include "ata/nvme_storage_query.h"

#include <cstring>

namespace kestrel {

namespace {

void Put32(std::uint8_t* at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(at[0]) | static_cast<std::uint32_t>(at[1]) << 8 |
         static_cast<std::uint32_t>(at[2]) << 16 | static_cast<std::uint32_t>(at[3]) << 24;
}

}  // namespace

std::size_t NvmeQueryDataSize(NvmeQuery what) {
  return what == NvmeQuery::kHealthLog ? kNvmeHealthLogSize : kNvmeIdentifySize;
}

std::size_t BuildNvmeStorageQuery(NvmeQuery what, std::uint8_t* buffer) {
  const std::size_t dataSize = NvmeQueryDataSize(what);
  const std::size_t size = kPropertyQueryHeaderSize + kProtocolSpecificDataSize + dataSize;
  std::memset(buffer, 0, size);
  std::uint32_t property = kStorageDeviceProtocolSpecificProperty;
  std::uint32_t dataType = kNvmeDataTypeIdentify;
  std::uint32_t value = 0;     // CNS 00h: Identify Namespace
  std::uint32_t subValue = 0;  // the namespace, or the log page offset
  switch (what) {
    case NvmeQuery::kIdentifyController:
      property = kStorageAdapterProtocolSpecificProperty;
      value = 1;  // CNS 01h
      break;
    case NvmeQuery::kIdentifyNamespace:
      subValue = kNvmeQueryNamespace;
      break;
    case NvmeQuery::kHealthLog:
      dataType = kNvmeDataTypeLogPage;
      value = 0x02;  // SMART / Health Information
      break;
  }
  Put32(buffer + 0, property);
  Put32(buffer + 4, kPropertyStandardQuery);
  std::uint8_t* record = buffer + kPropertyQueryHeaderSize;
  Put32(record + 0, kProtocolTypeNvme);
  Put32(record + 4, dataType);
  Put32(record + 8, value);
  Put32(record + 12, subValue);
  Put32(record + 16, static_cast<std::uint32_t>(kProtocolSpecificDataSize));
  Put32(record + 20, static_cast<std::uint32_t>(dataSize));
  return size;
}

bool FindNvmeQueryData(const std::uint8_t* answer, std::size_t returned, std::size_t wanted,
                       std::size_t* dataOffset) {
  if (returned < kProtocolDataDescriptorSize) return false;
  if (Get32(answer + 0) != kProtocolDataDescriptorSize) return false;  // Version
  if (Get32(answer + 4) < kProtocolDataDescriptorSize) return false;   // Size
  const std::uint8_t* record = answer + 8;
  const std::uint64_t offset = Get32(record + 16);
  const std::uint64_t length = Get32(record + 20);
  if (offset < kProtocolSpecificDataSize || length < wanted) return false;
  if (8 + offset + wanted > returned) return false;
  *dataOffset = static_cast<std::size_t>(8 + offset);
  return true;
}

}  // namespace kestrel
