#include "catalog/LinearImageBuilder.h"

#include <algorithm>
#include <cassert>
#include <limits>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "adt/KelvorTypeADT.h"
#include "catalog/ArgumentCheck.h"
#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/ArrayValue.h"
#include "driver/BfileValue.h"
#include "driver/BlobValue.h"
#include "driver/CharValue.h"
#include "driver/ClobValue.h"
#include "driver/DateValue.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/NumberValue.h"
#include "driver/ObjectValue.h"
#include "driver/RawValue.h"
#include "driver/RefValue.h"
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

namespace kelvor::catalog {
namespace {

using jdbc::DriverException;
using jdbc::ErrorRaiser;
using jdbc::kelcore::KelvorType;
using jdbc::kelcore::KelvorTypeADT;
using Options = LinearImageBuilder::Options;

// What a descriptor's slot holds; OBJECT has no slot (its leaves have). COLLECTION is a UPT of
// a collection type (FB): a rel slot in an object, an inline image as an element. UPT_OBJECT is
// a UPT of an object type (FA): an inline image as an element, and no slot in an object.
enum class SlotKind : uint8_t {
  NUMBER, DATE, CHAR, RAW, BLOB, CLOB, BFILE, REF, OBJECT, COLLECTION, UPT_OBJECT
};

constexpr int32_t NUMBER_SLOT_BYTES = 22;  // length byte and room for 21 bytes of number
constexpr int32_t MAX_NUMBER_LENGTH = 21;
constexpr int32_t DATE_SLOT_BYTES = 8;    // year(2) month day hour minute second unused
constexpr int32_t CHAR_SLOT_BYTES = 6;    // rel(UB4) and two bytes
constexpr int32_t OFFSET_SLOT_BYTES = 4;  // rel(UB4)
constexpr int32_t UB4_BYTES = 4;
constexpr int32_t UB2_BYTES = 2;
constexpr int32_t DATE_FORM_LENGTH = 7;
constexpr int64_t MAX_IMAGE_LENGTH = std::numeric_limits<int32_t>::max();
// What a null element of a collection carries after its flag byte 01, when it is an object
// (a UPT of an object type) or a collection (a UPT of a collection type).
constexpr int32_t NULL_OBJECT_ELEMENT_BYTES = 4;
constexpr int32_t NULL_COLLECTION_ELEMENT_BYTES = 2;

// The linear images of values nested through UPTs; defined after both builders, which call
// each other through them.
lang::Ref<lang::ByteArray> nestedObjectImage(jdbc::kelcore::KelvorTypeUPT& upt,
                                             const jdbc::ObjectValue& value,
                                             const Options& options);
lang::Ref<lang::ByteArray> nestedCollectionImage(jdbc::kelcore::KelvorTypeUPT& upt,
                                                 const jdbc::ArrayValue& value,
                                                 const Options& options);

SlotKind kindOf(KelvorType& t) {
  using namespace jdbc::kelcore;
  // Only a plain object type lies inline; collections and UPTs derive from it.
  if (typeid(t) == typeid(KelvorTypeADT)) return SlotKind::OBJECT;
  if (dynamic_cast<KelvorTypeNUMBER*>(&t) != nullptr ||
      dynamic_cast<KelvorTypeFLOAT*>(&t) != nullptr ||
      dynamic_cast<KelvorTypeSINT32*>(&t) != nullptr) {
    return SlotKind::NUMBER;
  }
  if (dynamic_cast<KelvorTypeDATE*>(&t) != nullptr) return SlotKind::DATE;
  if (dynamic_cast<KelvorTypeCHAR*>(&t) != nullptr) return SlotKind::CHAR;
  if (dynamic_cast<KelvorTypeRAW*>(&t) != nullptr) return SlotKind::RAW;
  if (dynamic_cast<KelvorTypeBLOB*>(&t) != nullptr) return SlotKind::BLOB;
  if (dynamic_cast<KelvorTypeCLOB*>(&t) != nullptr) return SlotKind::CLOB;
  if (dynamic_cast<KelvorTypeBFILE*>(&t) != nullptr) return SlotKind::BFILE;
  if (dynamic_cast<KelvorTypeREF*>(&t) != nullptr) return SlotKind::REF;
  if (auto* upt = dynamic_cast<KelvorTypeUPT*>(&t)) {
    if (upt->getTypeByte() == KelvorTypeUPT::UPT_COLLECTION) return SlotKind::COLLECTION;
    if (upt->getTypeByte() == KelvorTypeUPT::UPT_OBJECT) return SlotKind::UPT_OBJECT;
  }
  ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED, "no linear slot for this descriptor", &t);
}

int32_t slotBytesOf(SlotKind kind) {
  switch (kind) {
    case SlotKind::NUMBER: return NUMBER_SLOT_BYTES;
    case SlotKind::DATE: return DATE_SLOT_BYTES;
    case SlotKind::CHAR: return CHAR_SLOT_BYTES;
    case SlotKind::RAW:
    case SlotKind::BLOB:
    case SlotKind::CLOB:
    case SlotKind::BFILE:
    case SlotKind::REF:
    case SlotKind::COLLECTION: return OFFSET_SLOT_BYTES;
    case SlotKind::OBJECT:
    case SlotKind::UPT_OBJECT: break;
  }
  assert(false && "an object type has no slot");
  return 0;
}

// The attribute value as the class its descriptor's kind carries, or ERR_INVALID_ARGUMENT.
template <typename Value>
Value& valueAs(lang::Object* value) {
  auto* v = dynamic_cast<Value*>(value);
  if (v == nullptr) {
    ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT,
                       "attribute value of the wrong class for its descriptor", value);
  }
  return *v;
}

[[noreturn]] void raiseBadValue(const char* message, const lang::Object* value) {
  ErrorRaiser::raise(DriverException::ERR_INVALID_ARGUMENT, message, value);
}

// Year of a seven-byte date form's first two bytes (unsigned), as the form defines it; false
// for a pair that is no year.
bool yearOf(int32_t century, int32_t yy, int32_t& year) {
  if (century >= 100 && yy >= 100 && yy <= 199) {
    year = (century - 100) * 100 + (yy - 100);
    return true;
  }
  if (century <= 100 && yy >= 1 && yy <= 100) {
    year = -((100 - century) * 100 + (100 - yy));
    return true;
  }
  return false;
}

// L(1) number(L) 0{21 - L} at out: the 22 bytes of a number slot (out holds them, zeroed).
void putNumberSlot(int8_t* out, const jdbc::NumberValue& value) {
  const int32_t length = value.byteLength();
  if (length > MAX_NUMBER_LENGTH) raiseBadValue("number longer than 21 bytes", &value);
  out[0] = static_cast<int8_t>(length);
  if (length > 0) std::copy_n(value.byteData(), length, out + 1);
}

// year(2) month day hour minute second at out, from the seven-byte form: the first 7 bytes of
// a date slot. The year is signed 16-bit, high byte first when highFirst.
void putDateSlot(int8_t* out, const jdbc::DateValue& value, bool highFirst) {
  const int8_t* form = value.byteData();
  int32_t year = 0;
  if (value.byteLength() != DATE_FORM_LENGTH || !yearOf(form[0] & 0xFF, form[1] & 0xFF, year)) {
    raiseBadValue("date value without a seven-byte date form", &value);
  }
  // The form bounds the year to -10099..15599, inside 16 bits.
  const auto y = static_cast<uint16_t>(static_cast<int16_t>(year));
  const auto high = static_cast<int8_t>(y >> 8);
  const auto low = static_cast<int8_t>(y & 0xFF);
  out[0] = highFirst ? high : low;
  out[1] = highFirst ? low : high;
  out[2] = form[2];                                 // month
  out[3] = form[3];                                 // day
  for (int32_t i = 4; i < DATE_FORM_LENGTH; ++i) {  // hour, minute, second: the form adds 1
    out[i] = static_cast<int8_t>((form[i] & 0xFF) - 1);
  }
}

// Whether bytes are a locator or REF whole: their first 2 bytes the length of the rest.
bool startsWithOwnLength(std::span<const int8_t> bytes) {
  return bytes.size() >= UB2_BYTES &&
         ((bytes[0] & 0xFF) << 8 | (bytes[1] & 0xFF)) == static_cast<int64_t>(bytes.size()) - UB2_BYTES;
}

// One leaf slot of the layout, for the checks.
struct Slot {
  int64_t offset;
  int32_t bytes;
  int32_t offsetIndex;
};

class Builder {
 public:
  Builder(KelvorTypeADT& type, const Options& options) : type_(type), options_(options) {
    if (options.nullBits < 1 || options.nullBits > 3) {
      raiseInvalidArgument("null indicator bits " + std::to_string(options.nullBits) +
                           " outside 1..3");
    }
  }

  lang::Ref<lang::ByteArray> build(const jdbc::ObjectValue* value) {
    if (value == nullptr && options_.nullValue == LinearImageBuilder::NullValueForm::ZERO_LENGTH) {
      return lang::ByteArray::make(UB4_BYTES);
    }
    (void)type_.getNumAttributes();  // fetches and parses a type not yet initialised
    survey();
    if (value == nullptr) {
      markNull(type_);
    } else {
      writeObject(type_, *value);
    }
    return assemble();
  }

 private:
  // --- the layout, checked before any value is written ---

  void survey() {
    offsets_ = type_.getAttributeOffsets();
    if (!offsets_) raiseInvalidArgument("object type without a linear layout");
    collect(type_);
    const int64_t declared = type_.getLinearImageSize();
    int64_t end = 0;
    for (const Slot& s : slots_) end = std::max(end, s.offset + s.bytes);
    slotsLength_ = declared >= 0 ? declared : end;
    // The indicators: two reserved bytes, then four to a byte.
    nullBytesLength_ = LinearImageBuilder::NULL_RESERVED_LENGTH + (indicatorCount_ + 3) / 4;
    // Everything but the data bytes themselves: len, body prefix, null count, nulls, dataLen.
    const int64_t overhead = UB4_BYTES + LinearImageBuilder::BODY_PREFIX_LENGTH + UB4_BYTES +
                             nullBytesLength_ + UB4_BYTES;
    maxDataLength_ = MAX_IMAGE_LENGTH - overhead;
    if (slotsLength_ > maxDataLength_) raiseInvalidArgument("linear image beyond 2^31 - 1 bytes");

    std::sort(slots_.begin(), slots_.end(),
              [](const Slot& a, const Slot& b) { return a.offset < b.offset; });
    charRoom_.assign(static_cast<size_t>(offsets_->length()), 0);
    for (size_t i = 0; i < slots_.size(); ++i) {
      const Slot& s = slots_[i];
      const int64_t next = i + 1 < slots_.size() ? slots_[i + 1].offset : slotsLength_;
      if (s.offset + s.bytes > next) {
        raiseInvalidArgument("slot of offset index " + std::to_string(s.offsetIndex) + " at " +
                             std::to_string(s.offset) + " (" + std::to_string(s.bytes) +
                             " bytes) runs into " + std::to_string(next) +
                             (i + 1 < slots_.size() ? " (the next slot)" : " (the image end)"));
      }
      charRoom_[static_cast<size_t>(s.offsetIndex)] = next - (s.offset + s.bytes);
    }
    data_.assign(static_cast<size_t>(slotsLength_), 0);
    indicators_.assign(static_cast<size_t>(indicatorCount_), 0);
  }

  // Bounded by the parser's nesting bound: the tree is no deeper than its TDS allowed.
  void collect(KelvorTypeADT& object) {
    countIndicator(object);
    const int32_t n = object.getNumAttributes();
    for (int32_t i = 0; i < n; ++i) {
      const lang::Ref<KelvorType> d = object.getAttributeType(i);
      const SlotKind kind = kindOf(*d);
      if (kind == SlotKind::OBJECT) {
        collect(static_cast<KelvorTypeADT&>(*d));
        continue;
      }
      if (kind == SlotKind::UPT_OBJECT) {
        // The readers take a UPT in a slot only when it stands for a collection.
        ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                           "no linear slot for an object attribute held through a UPT", d.get());
      }
      countIndicator(*d);
      slots_.push_back({slotOffsetOf(*d), slotBytesOf(kind), d->getOffsetIndex()});
    }
  }

  void countIndicator(const KelvorType& d) {
    if (d.getNullIndex() < 0) raiseInvalidArgument("descriptor without a null index");
    indicatorCount_ = std::max(indicatorCount_, d.getNullIndex() + 1);
  }

  int64_t slotOffsetOf(const KelvorType& d) const {
    const int32_t k = d.getOffsetIndex();
    if (k < 0 || k >= offsets_->length()) {
      raiseInvalidArgument("offset index " + std::to_string(k) + " outside the layout's " +
                           std::to_string(offsets_->length()) + " offsets");
    }
    const int64_t offset = (*offsets_)[k];
    if (offset < 0) raiseInvalidArgument("negative slot offset " + std::to_string(offset));
    return offset;
  }

  // --- values ---

  void writeObject(KelvorTypeADT& object, const jdbc::ObjectValue& value) {
    const int32_t n = object.getNumAttributes();
    // SQL values; a value that holds only platform objects has none
    const lang::Ref<lang::ObjectArray> attributes = value.getAttributes();
    if (!attributes) raiseBadValue("object value without SQL attribute values", &value);
    if (attributes->length() != n) {
      raiseBadValue("object value whose attribute count is not its type's", &value);
    }
    for (int32_t i = 0; i < n; ++i) {
      const lang::Ref<KelvorType> d = object.getAttributeType(i);
      lang::Object* v = attributes->at(i);
      const SlotKind kind = kindOf(*d);
      if (v == nullptr) {
        markNull(*d);
      } else if (kind == SlotKind::OBJECT) {
        writeObject(static_cast<KelvorTypeADT&>(*d), valueAs<jdbc::ObjectValue>(v));
      } else {
        writeLeaf(*d, kind, v);
      }
    }
  }

  void writeLeaf(KelvorType& d, SlotKind kind, lang::Object* v) {
    const auto at = static_cast<size_t>(slotOffsetOf(d));
    switch (kind) {
      case SlotKind::NUMBER: writeNumber(at, valueAs<jdbc::NumberValue>(v)); break;
      case SlotKind::DATE: writeDate(at, valueAs<jdbc::DateValue>(v)); break;
      case SlotKind::CHAR: {
        auto& ch = static_cast<jdbc::kelcore::KelvorTypeCHAR&>(d);
        const lang::Ref<jdbc::CharValue> converted =
            ch.convertToConnectionCharset(&valueAs<jdbc::CharValue>(v));
        writeCharacters(at, d.getOffsetIndex(), converted->byteSpan());
        break;
      }
      case SlotKind::RAW:
        putUB4(at, appendUB4Value(valueAs<jdbc::RawValue>(v).byteSpan()));
        break;
      case SlotKind::BLOB: putUB4(at, appendLocator(valueAs<jdbc::BlobValue>(v))); break;
      case SlotKind::CLOB: putUB4(at, appendLocator(valueAs<jdbc::ClobValue>(v))); break;
      case SlotKind::BFILE: putUB4(at, appendLocator(valueAs<jdbc::BfileValue>(v))); break;
      case SlotKind::REF: putUB4(at, appendLocator(valueAs<jdbc::RefValue>(v))); break;
      case SlotKind::COLLECTION: {
        const lang::Ref<lang::ByteArray> nested = nestedCollectionImage(
            static_cast<jdbc::kelcore::KelvorTypeUPT&>(d), valueAs<jdbc::ArrayValue>(v), options_);
        putUB4(at, appendImage(*nested));
        break;
      }
      case SlotKind::OBJECT:
      case SlotKind::UPT_OBJECT: assert(false && "objects are written by writeObject"); break;
    }
  }

  // A nested linear image whole (it carries its own length); returns its rel.
  int64_t appendImage(const lang::ByteArray& image) {
    const int64_t rel = reserveOutOfLine(image.length());
    std::copy_n(image.data(), image.length(), data_.begin() + static_cast<ptrdiff_t>(rel));
    return rel;
  }

  void writeNumber(size_t at, const jdbc::NumberValue& value) {
    putNumberSlot(data_.data() + at, value);
  }

  void writeDate(size_t at, const jdbc::DateValue& value) {
    putDateSlot(data_.data() + at, value, type_.getFormatFlag());
  }

  // rel(UB4) 00 00, the value n(UB4) bytes(n) behind the slots or right after the 6 bytes.
  void writeCharacters(size_t at, int32_t offsetIndex, std::span<const int8_t> bytes) {
    const auto n = static_cast<int32_t>(bytes.size());
    const bool inSlot =
        options_.characters == LinearImageBuilder::CharPlacement::AFTER_SLOT_WHEN_ROOM &&
        int64_t{UB4_BYTES} + n <= charRoom_[static_cast<size_t>(offsetIndex)];
    if (!inSlot) {
      putUB4(at, appendUB4Value(bytes));
      return;
    }
    // rel stays 0; the value fills the room that the layout leaves before the next slot.
    const size_t value = at + CHAR_SLOT_BYTES;
    putUB4(value, n);
    if (n > 0) {
      std::copy_n(bytes.data(), n, data_.begin() + static_cast<ptrdiff_t>(value + UB4_BYTES));
    }
  }

  // n(UB4) bytes(n) behind the slots; returns its rel.
  int64_t appendUB4Value(std::span<const int8_t> bytes) {
    const auto n = static_cast<int32_t>(bytes.size());
    const int64_t rel = reserveOutOfLine(int64_t{UB4_BYTES} + n);
    putUB4(static_cast<size_t>(rel), n);
    if (n > 0) {
      std::copy_n(bytes.data(), n, data_.begin() + static_cast<ptrdiff_t>(rel + UB4_BYTES));
    }
    return rel;
  }

  // A locator or REF: its bytes whole, which must start with the length of the rest.
  int64_t appendLocator(const jdbc::SqlValue& value) {
    const std::span<const int8_t> bytes = value.byteSpan();
    if (!startsWithOwnLength(bytes)) {
      raiseBadValue("locator or REF bytes that do not start with their own 2-byte length", &value);
    }
    const auto n = static_cast<int32_t>(bytes.size());
    const int64_t rel = reserveOutOfLine(n);
    std::copy_n(bytes.data(), n, data_.begin() + static_cast<ptrdiff_t>(rel));
    return rel;
  }

  // Grows the data by n zero bytes and returns where they start (a rel, never 0: the slots
  // come first and are never empty when a leaf points here).
  int64_t reserveOutOfLine(int64_t n) {
    const auto rel = static_cast<int64_t>(data_.size());
    if (n > maxDataLength_ - rel) raiseInvalidArgument("linear image beyond 2^31 - 1 bytes");
    data_.resize(static_cast<size_t>(rel + n), 0);
    assert(rel > 0);
    return rel;
  }

  // --- nulls ---

  void markNull(KelvorType& d) {
    setIndicator(d.getNullIndex());
    if (options_.underNullObject != LinearImageBuilder::UnderNullObject::MARKED_NULL) return;
    auto* object = dynamic_cast<KelvorTypeADT*>(&d);
    if (object == nullptr || kindOf(d) != SlotKind::OBJECT) return;
    const int32_t n = object->getNumAttributes();
    for (int32_t i = 0; i < n; ++i) markNull(*object->getAttributeType(i));
  }

  void setIndicator(int32_t i) {
    assert(i >= 0 && i < indicatorCount_);
    indicators_[static_cast<size_t>(i)] = 1;
  }

  // --- the image ---

  void putUB4(size_t at, int64_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) data_[at + i] = static_cast<int8_t>((v >> (24 - 8 * i)) & 0xFF);
  }

  // len body := len 00 00 00 00 00 00 | n nulls | dataLen data
  lang::Ref<lang::ByteArray> assemble() const {
    const auto dataLength = static_cast<int64_t>(data_.size());
    const int64_t bodyLength = LinearImageBuilder::BODY_PREFIX_LENGTH + UB4_BYTES +
                               nullBytesLength_ + UB4_BYTES + dataLength;
    auto image = lang::ByteArray::make(UB4_BYTES + bodyLength);  // zero-filled
    lang::ByteArray& out = *image;
    int32_t at = 0;
    auto ub4 = [&](int64_t value) {
      const auto v = static_cast<uint32_t>(value);
      for (int32_t i = 0; i < 4; ++i) out[at++] = static_cast<int8_t>((v >> (24 - 8 * i)) & 0xFF);
    };
    ub4(bodyLength);
    at += LinearImageBuilder::BODY_PREFIX_LENGTH;
    ub4(nullBytesLength_);
    const int32_t bitsAt = at + LinearImageBuilder::NULL_RESERVED_LENGTH;
    for (int32_t i = 0; i < indicatorCount_; ++i) {
      if (indicators_[static_cast<size_t>(i)] == 0) continue;
      out[bitsAt + i / 4] =
          static_cast<int8_t>(out[bitsAt + i / 4] | (options_.nullBits << (2 * (i % 4))));
    }
    at += static_cast<int32_t>(nullBytesLength_);
    ub4(dataLength);
    if (dataLength > 0) std::copy(data_.begin(), data_.end(), out.data() + at);
    assert(at + dataLength == out.length());
    return image;
  }

  KelvorTypeADT& type_;
  const Options& options_;
  lang::Ref<lang::LongArray> offsets_;  // the top-level layout: one offset per leaf slot
  std::vector<Slot> slots_;             // every leaf's slot, sorted by offset after survey
  std::vector<int64_t> charRoom_;       // per offset index: bytes free after the slot
  int32_t indicatorCount_ = 0;          // highest null index + 1
  int64_t nullBytesLength_ = 0;         // reserved bytes and indicator bits
  int64_t slotsLength_ = 0;             // the layout's image size
  int64_t maxDataLength_ = 0;           // what the data may grow to within 2^31 - 1
  std::vector<int8_t> data_;            // slots, then the out-of-line values
  std::vector<uint8_t> indicators_;     // per null index: 1 when null
};

// The linear image of one collection value, element by element in the element descriptor's
// flag-byte form. The grammar is in the header.
class CollectionBuilder {
 public:
  CollectionBuilder(jdbc::kelcore::KelvorTypeCOLLECTION& type, const Options& options)
      : type_(type), options_(options) {}

  lang::Ref<lang::ByteArray> build(const jdbc::ArrayValue& value) {
    (void)type_.getNumAttributes();  // fetches and parses a type not yet initialised
    const lang::Ref<KelvorType>& element = type_.getElementType();
    if (!element) raiseInvalidArgument("collection type without an element type");
    const SlotKind kind = kindOf(*element);
    if (kind == SlotKind::OBJECT) {
      // Object elements are read inline through a UPT only; a bare object descriptor has no
      // element form.
      ErrorRaiser::raise(DriverException::ERR_UNSUPPORTED,
                         "no linear element form for objects outside a UPT", element.get());
    }
    putUB4(0);  // A, patched below
    out_.insert(out_.end(), UB2_BYTES, 0);
    const lang::Ref<lang::ObjectArray> elements =
        value.holdsElements() ? value.getSqlValueElements() : nullptr;
    if (!elements) {
      // Elements kept behind a locator: the prefix is the flag 00 and the locator bytes.
      const lang::ByteArray* locator = value.getLocator().get();
      const int32_t n = locator != nullptr ? locator->length() : 0;
      putUB4(int64_t{n} + 1);
      out_.push_back(0);
      append(locator != nullptr ? locator->data() : nullptr, n);
    } else {
      putUB4(1);  // an empty prefix after its flag byte
      out_.push_back(1);
      const size_t partAt = out_.size();
      putUB4(0);  // I, patched below
      putUB4(elements->length());
      out_.push_back(0);
      for (int32_t i = 0; i < elements->length(); ++i) {
        writeElement(*element, kind, elements->at(i));
      }
      patchUB4(partAt, static_cast<int64_t>(out_.size() - partAt - UB4_BYTES));
    }
    patchUB4(0, static_cast<int64_t>(out_.size()) - UB4_BYTES);
    return lang::ByteArray::copyOf(out_.data(), static_cast<int32_t>(out_.size()));
  }

 private:
  // flag(1) and the element's form; a null element: flag 01 and the form's null filling.
  void writeElement(KelvorType& d, SlotKind kind, lang::Object* v) {
    out_.push_back(v == nullptr ? 1 : 0);
    switch (kind) {
      case SlotKind::NUMBER: {
        const size_t at = grow(NUMBER_SLOT_BYTES);
        if (v != nullptr) putNumberSlot(out_.data() + at, valueAs<jdbc::NumberValue>(v));
        break;
      }
      case SlotKind::DATE: {
        const size_t at = grow(DATE_SLOT_BYTES);
        if (v != nullptr) {
          putDateSlot(out_.data() + at, valueAs<jdbc::DateValue>(v), type_.getFormatFlag());
        }
        break;
      }
      case SlotKind::CHAR: {
        if (v == nullptr) {
          putUB4(0);
          break;
        }
        auto& ch = static_cast<jdbc::kelcore::KelvorTypeCHAR&>(d);
        const lang::Ref<jdbc::CharValue> converted =
            ch.convertToConnectionCharset(&valueAs<jdbc::CharValue>(v));
        putUB4Value(converted->byteSpan());
        break;
      }
      case SlotKind::RAW:
        putUB4Value(v == nullptr ? std::span<const int8_t>() : valueAs<jdbc::RawValue>(v).byteSpan());
        break;
      case SlotKind::BLOB:
        putLocator(v == nullptr ? nullptr : &valueAs<jdbc::BlobValue>(v),
                   jdbc::kelcore::KelvorTypeBLOB::LOCATOR_SLOT_SIZE);
        break;
      case SlotKind::CLOB:
        putLocator(v == nullptr ? nullptr : &valueAs<jdbc::ClobValue>(v),
                   jdbc::kelcore::KelvorTypeCLOB::LOCATOR_SLOT_SIZE);
        break;
      case SlotKind::BFILE:
        putLocator(v == nullptr ? nullptr : &valueAs<jdbc::BfileValue>(v),
                   jdbc::kelcore::KelvorTypeBFILE::LOCATOR_SLOT_SIZE);
        break;
      case SlotKind::REF:
        putLocator(v == nullptr ? nullptr : &valueAs<jdbc::RefValue>(v), 0);
        break;
      case SlotKind::UPT_OBJECT:
        if (v == nullptr) {
          (void)grow(NULL_OBJECT_ELEMENT_BYTES);
          break;
        }
        appendImage(*nestedObjectImage(static_cast<jdbc::kelcore::KelvorTypeUPT&>(d),
                                       valueAs<jdbc::ObjectValue>(v), options_));
        break;
      case SlotKind::COLLECTION:
        if (v == nullptr) {
          (void)grow(NULL_COLLECTION_ELEMENT_BYTES);
          break;
        }
        appendImage(*nestedCollectionImage(static_cast<jdbc::kelcore::KelvorTypeUPT&>(d),
                                           valueAs<jdbc::ArrayValue>(v), options_));
        break;
      case SlotKind::OBJECT: assert(false && "refused before the first element"); break;
    }
  }

  void appendImage(const lang::ByteArray& image) { append(image.data(), image.length()); }

  // n(UB4) bytes(n); null bytes: n 0.
  void putUB4Value(std::span<const int8_t> bytes) {
    const auto n = static_cast<int32_t>(bytes.size());
    putUB4(n);
    append(bytes.data(), n);
  }

  // The bytes whole (they start with their own UB2 length), then zeros to fill slotBytes
  // counted from the byte after the flag; a null: 00 00 and no filling.
  void putLocator(const jdbc::SqlValue* value, int32_t slotBytes) {
    if (value == nullptr) {
      out_.insert(out_.end(), UB2_BYTES, 0);
      return;
    }
    const std::span<const int8_t> bytes = value->byteSpan();
    if (!startsWithOwnLength(bytes)) {
      raiseBadValue("locator or REF bytes that do not start with their own 2-byte length", value);
    }
    const auto n = static_cast<int32_t>(bytes.size());
    append(bytes.data(), n);
    if (n < slotBytes) (void)grow(slotBytes - n);
  }

  // Appends n zero bytes; returns where they start.
  size_t grow(int64_t n) {
    const size_t at = out_.size();
    requireRoom(n);
    out_.resize(at + static_cast<size_t>(n), 0);
    return at;
  }

  void append(const int8_t* bytes, int32_t n) {
    if (n == 0) return;
    requireRoom(n);
    out_.insert(out_.end(), bytes, bytes + n);
  }

  void putUB4(int64_t value) {
    const size_t at = grow(UB4_BYTES);
    patchUB4(at, value);
  }

  void patchUB4(size_t at, int64_t value) {
    const auto v = static_cast<uint32_t>(value);
    for (size_t i = 0; i < 4; ++i) out_[at + i] = static_cast<int8_t>((v >> (24 - 8 * i)) & 0xFF);
  }

  void requireRoom(int64_t n) const {
    if (n > MAX_IMAGE_LENGTH - static_cast<int64_t>(out_.size())) {
      raiseInvalidArgument("linear image beyond 2^31 - 1 bytes");
    }
  }

  jdbc::kelcore::KelvorTypeCOLLECTION& type_;
  const Options& options_;   // handed on to the objects among the elements
  std::vector<int8_t> out_;  // the image so far
};

// Recursion follows the type tree, which is no deeper than its TDS allowed.
lang::Ref<lang::ByteArray> nestedObjectImage(jdbc::kelcore::KelvorTypeUPT& upt,
                                             const jdbc::ObjectValue& value,
                                             const Options& options) {
  KelvorTypeADT* object = upt.getObjectType().get();
  if (object == nullptr || typeid(*object) != typeid(KelvorTypeADT)) {
    raiseInvalidArgument("UPT of an object type without an object type attached");
  }
  Builder builder(*object, options);
  return builder.build(&value);
}

lang::Ref<lang::ByteArray> nestedCollectionImage(jdbc::kelcore::KelvorTypeUPT& upt,
                                                 const jdbc::ArrayValue& value,
                                                 const Options& options) {
  auto* collection = dynamic_cast<jdbc::kelcore::KelvorTypeCOLLECTION*>(upt.getObjectType().get());
  if (collection == nullptr) {
    raiseInvalidArgument("UPT of a collection type without a collection type attached");
  }
  CollectionBuilder builder(*collection, options);
  return builder.build(value);
}

}  // namespace

lang::Ref<lang::ByteArray> LinearImageBuilder::build(KelvorTypeADT& type,
                                                     const jdbc::ObjectValue* value) {
  return build(type, value, Options{});
}

lang::Ref<lang::ByteArray> LinearImageBuilder::build(KelvorTypeADT& type,
                                                     const jdbc::ObjectValue* value,
                                                     const Options& options) {
  Builder builder(type, options);
  return builder.build(value);
}

lang::Ref<lang::ByteArray> LinearImageBuilder::buildCollection(
    jdbc::kelcore::KelvorTypeCOLLECTION& type, const jdbc::ArrayValue* value) {
  if (value == nullptr) return lang::ByteArray::make(UB4_BYTES);
  const Options options{};
  CollectionBuilder builder(type, options);
  return builder.build(*value);
}

}  // namespace kelvor::catalog
