#include "adt/AttributeFactory.h"

#include "adt/KelvorTypeADT.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "scalar/KelvorTypeBFILE.h"
#include "scalar/KelvorTypeBLOB.h"
#include "scalar/KelvorTypeCHAR.h"
#include "scalar/KelvorTypeCLOB.h"
#include "scalar/KelvorTypeDATE.h"
#include "scalar/KelvorTypeFLOAT.h"
#include "scalar/KelvorTypeNUMBER.h"
#include "scalar/KelvorTypeRAW.h"
#include "scalar/KelvorTypeSINT32.h"
#include "types/KelvorTypeREF.h"
#include "types/KelvorTypeUPT.h"

namespace kelvor::jdbc::kelcore {
namespace {

// The platform's type codes that the character and number opcodes stand for.
constexpr int32_t CHAR_TYPE_CODE = 1;
constexpr int32_t VARCHAR_TYPE_CODE = 12;
constexpr int32_t NUMERIC_TYPE_CODE = 2;
constexpr int32_t DECIMAL_TYPE_CODE = 3;
constexpr int32_t DOUBLE_TYPE_CODE = 8;

}  // namespace

Ref<KelvorType> AttributeFactory::create(int32_t opcode, KelvorTypeADT* parent, int32_t index,
                                         jdbc::Connection* conn, bool formatFlag) {
  switch (opcode) {
    case KelvorTypeADT::OPC_CHAR:
      return lang::makeRef<KelvorTypeCHAR>(conn, CHAR_TYPE_CODE);
    case KelvorTypeADT::OPC_VARCHAR:
      return lang::makeRef<KelvorTypeCHAR>(conn, VARCHAR_TYPE_CODE);
    case KelvorTypeADT::OPC_DATE:
      return lang::makeRef<KelvorTypeDATE>();
    case KelvorTypeADT::OPC_NUMBER:
      return lang::makeRef<KelvorTypeNUMBER>(DECIMAL_TYPE_CODE);
    case KelvorTypeADT::OPC_NUMBER_8:
      return lang::makeRef<KelvorTypeNUMBER>(DOUBLE_TYPE_CODE);
    case KelvorTypeADT::OPC_NUMBER_2:
      return lang::makeRef<KelvorTypeNUMBER>(NUMERIC_TYPE_CODE);
    case KelvorTypeADT::OPC_FLOAT:
      return lang::makeRef<KelvorTypeFLOAT>();
    case KelvorTypeADT::OPC_SINT32:
      return lang::makeRef<KelvorTypeSINT32>();
    case KelvorTypeADT::OPC_REF:
      return lang::makeRef<KelvorTypeREF>(parent, index, conn);
    case KelvorTypeADT::OPC_RAW:
      return lang::makeRef<KelvorTypeRAW>();
    case KelvorTypeADT::OPC_CLOB:
      return lang::makeRef<KelvorTypeCLOB>(conn);
    case KelvorTypeADT::OPC_BLOB:
      return lang::makeRef<KelvorTypeBLOB>(conn);
    case KelvorTypeADT::OPC_BFILE:
      return lang::makeRef<KelvorTypeBFILE>(conn);
    case KelvorTypeADT::OPC_COLLECTION: {
      auto collection = lang::makeRef<KelvorTypeCOLLECTION>(parent, index, conn);
      collection->setFormatFlag(formatFlag);
      return collection;
    }
    case KelvorTypeADT::OPC_UPT: {
      auto upt = lang::makeRef<KelvorTypeUPT>(parent, index, conn);
      upt->setFormatFlag(formatFlag);
      return upt;
    }
    default:
      ErrorRaiser::raise(DriverException::ERR_TDS_OPCODE, "unknown type descriptor opcode");
  }
}

}  // namespace kelvor::jdbc::kelcore
