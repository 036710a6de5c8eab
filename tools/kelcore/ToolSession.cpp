#include "tools/kelcore/ToolSession.h"

#include <utility>

#include "adt/KelvorTypeADT.h"
#include "catalog/LayoutWriter.h"
#include "catalog/MemoryCatalog.h"
#include "catalog/TDSWriter.h"
#include "collection/KelvorTypeCOLLECTION.h"

namespace kelvor::tools {

namespace {
// Where the header holds the type's version.
constexpr int32_t VERSION_AT = 5;
}  // namespace

bool ToolSession::describesCollection(const lang::ByteArray& tds) {
  using catalog::TDSWriter;
  using jdbc::kelcore::KelvorTypeADT;
  // The attribute list starts after the fixed header; a collection's entry is followed by
  // the byte that ends the list (the writer counts that byte into its entry length).
  const int32_t end = TDSWriter::HEADER_LENGTH + TDSWriter::COLLECTION_ENTRY_LENGTH - 1;
  if (tds.length() <= end || tds[TDSWriter::HEADER_LENGTH] != KelvorTypeADT::OPC_COLLECTION) {
    return false;
  }
  // A single entry: the list ends right after it.
  return tds[end] == KelvorTypeADT::OPC_END || tds[end] == KelvorTypeADT::OPC_END_PATCHES;
}

ToolSession::ToolSession(Inputs inputs)
    : connection_(lang::makeRef<jdbc::MemoryConnection>()),
      formatDescriptor_(inputs.formatDescriptor ? std::move(inputs.formatDescriptor)
                                                : catalog::LayoutWriter::defaultFormatDescriptor()) {
  const lang::ByteArray& tds = *inputs.tds;
  jdbc::MemoryConnection::TypeInfo info;
  info.typeId = catalog::MemoryCatalog::typeIdOf(TYPE_NAME);
  info.version = tds.length() > VERSION_AT ? tds[VERSION_AT] : 1;
  info.layout = std::move(inputs.layout);
  info.tds = std::move(inputs.tds);
  connection_->addType(TYPE_NAME, std::move(info));
  // The server hands the format descriptor to a connection that has none yet.
  connection_->setServerFormatDescriptor(formatDescriptor_);
  if (describesCollection(tds)) {
    array_ = jdbc::ArrayDescriptor::createDescriptor(TYPE_NAME, connection_.get());
    collection_ = array_->getKelvorType().get();
    type_ = collection_;
  } else {
    object_ = jdbc::ObjectDescriptor::createDescriptor(TYPE_NAME, connection_.get());
    type_ = object_->getKelvorType().get();
  }
}

ToolSession::~ToolSession() = default;

}  // namespace kelvor::tools
