// Names of the package's classes and of the driver and platform classes its headers use, so
// that headers include this instead of each other.
#pragma once

#include "lang/Ref.h"

namespace kelvor::lang {
class Object;
class String;
class ObjectArray;
class InputStream;
class OutputStream;
class ObjectInputStream;
class ObjectOutputStream;
template <typename E>
class PrimitiveArray;
using ByteArray = PrimitiveArray<int8_t>;
using IntArray = PrimitiveArray<int32_t>;
using LongArray = PrimitiveArray<int64_t>;
}  // namespace kelvor::lang

namespace kelvor::jdbc {
class Connection;
class SqlValue;
class TypeMap;
}  // namespace kelvor::jdbc

namespace kelvor::jdbc::kelcore {

using lang::Ref;

class KelvorType;
class KelvorNamedType;
class KelvorTypeADT;
class KelvorTypeCOLLECTION;
class KelvorTypeREF;
class KelvorTypeUPT;
class PickleContext;
class PickleInputStream;
class PickleOutputStream;
class StreamInfo;
class TDSPatch;
class UnpickleContext;
class Util;

}  // namespace kelvor::jdbc::kelcore
