// The driver's value of a collection type: its descriptor, its connection, and its elements in
// one of five forms: SQL values (one per element, null for SQL null), a platform array (the
// elements' platform objects, or a primitive array from a numeric bulk read), a locator that
// stands for elements kept on the server, an image kept as it arrived (bytes, offset, length),
// which the value decodes on first access with the whole-collection reader of its layout, or
// packed elements: scalar data values read and checked, kept as one copy of their bytes, whose
// SQL values are made on first access of the elements (a read of a million numbers then costs
// one allocation, not a million).
//
// A value also keeps an element index for the readers: with indexing mode 1 the offsets of
// elements reached in an image are recorded, so that a later slice of the same image starts at
// a recorded offset instead of stepping over every earlier element. The index belongs to the
// image last read into the value.
//
// Thread rule: a value is filled by the one thread that reads it; the first-access decoding of
// a kept image and the making of packed elements hold the value's lock, so values may then be
// read from several threads.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "driver/ArrayDescriptor.h"
#include "driver/SqlValue.h"
#include "lang/Array.h"
#include "lang/Monitor.h"

namespace kelvor::jdbc {
namespace kelcore {
class KelvorType;
}  // namespace kelcore

class TypeMap;

class ArrayValue : public SqlValue {
 public:
  static constexpr uint8_t CLASS_BIT = SqlValue::ARRAY_VALUE_BIT;

  // An empty value, filled by a reader; the image (may be null) is kept to be decoded later.
  ArrayValue(lang::Ref<ArrayDescriptor> descriptor, lang::Ref<lang::ByteArray> image,
             Connection* connection);
  // A value from application elements: an object array converted element by element, or a
  // primitive array of numbers, through the element descriptor (ERR_CONVERSION for what it
  // cannot convert). Null elements: an empty value.
  ArrayValue(lang::Ref<ArrayDescriptor> descriptor, Connection* connection,
             lang::Object* elements);
  // The same for elements that nothing else holds (the Ref moved in is their only count): a
  // short, int or long array for NUMBER elements is kept without a copy.
  ArrayValue(lang::Ref<ArrayDescriptor> descriptor, Connection* connection,
             lang::Ref<lang::Object>&& elements);
  ~ArrayValue() override;
  // A value that holds only a locator.
  static lang::Ref<ArrayValue> ofLocator(lang::Ref<ArrayDescriptor> descriptor,
                                         Connection* connection,
                                         lang::Ref<lang::ByteArray> locator);

  const lang::Ref<ArrayDescriptor>& getDescriptor() const noexcept { return descriptor_; }
  Connection* getConnection() const noexcept { return connection_; }

  // --- what writers ask ---
  // True when the value holds its elements (in any form), false when only a locator.
  bool holdsElements() const;
  // The elements as SQL values (null entries for nulls), converting a platform array through
  // the element descriptor once; null when the value holds no elements.
  lang::Ref<lang::ObjectArray> getSqlValueElements() const;
  const lang::Ref<lang::ByteArray>& getLocator() const noexcept { return locator_; }

  // --- what readers set ---
  void setLength(int64_t length) noexcept { length_ = length; }
  // Element count as read or converted; -1 before anything set it.
  int64_t elementCount() const;
  void setLocator(lang::Ref<lang::ByteArray> locator) { locator_ = std::move(locator); }
  void setImage(lang::Ref<lang::ByteArray> image, int64_t offset, int64_t length);
  void setImageLength(int64_t length) noexcept { imageLength_ = length; }
  const lang::Ref<lang::ByteArray>& getImage() const noexcept { return image_; }
  int64_t getImageOffset() const noexcept { return imageOffset_; }
  int64_t getImageLength() const noexcept { return imageLength_; }
  // True while a kept image waits to be decoded.
  bool isImageOnly() const;
  void setSqlValueArray(lang::Ref<lang::ObjectArray> values);
  // Packed elements: count data values of the element type as a pickled image writes them
  // (length-prefixed, the null marker for null), already checked by the reader that took
  // them; the type makes their SQL values, on first access, as its reader would have.
  void setPackedElements(lang::Ref<lang::ByteArray> values, int32_t count,
                         lang::Ref<kelcore::KelvorType> type);
  // True while packed elements wait to be made into SQL values.
  bool holdsPackedElements() const;
  // The byte forms of packed elements while they wait, without making their values: each
  // element's form end to end in forms, its length in lengths (-1 for a null), as the values made
  // on first access would hold them. Returns the element type; null, with nothing filled, when
  // no packed elements wait.
  lang::Ref<kelcore::KelvorType> packedForms(std::vector<int8_t>& forms,
                                             std::vector<int32_t>& lengths) const;
  void setPlatformArray(lang::Ref<lang::Object> array);
  // The platform array a reader stored (object or primitive), or null.
  lang::Ref<lang::Object> getPlatformArray() const;
  // The copy of an application's short, int or long array that a value of NUMBER elements was
  // made from, while it is the value's content; null otherwise. Writers encode it directly.
  lang::Ref<lang::Object> getPrimitiveElements() const;

  // --- the element index ---
  int32_t getIndexingMode() const noexcept { return indexingMode_; }
  // 1 records element offsets during reads; 0 (the default) does not.
  void setIndexingMode(int32_t mode) noexcept { indexingMode_ = mode; }
  void setIndexOffset(int64_t i, int64_t offset);
  // The recorded offset of element i (1-based), or -1.
  int64_t getIndexOffset(int64_t i) const noexcept;
  void setLastIndexOffset(int64_t i, int64_t offset) noexcept {
    lastIndex_ = i;
    lastOffset_ = offset;
  }
  int64_t getLastIndex() const noexcept { return lastIndex_; }
  int64_t getLastOffset() const noexcept { return lastOffset_; }
  // Entries set in the index (for tests and tools).
  int64_t indexedCount() const noexcept { return indexed_; }

  // The platform form: the stored platform array, or an array of the elements' platform
  // objects made by the array factory for the element type code.
  lang::Ref<lang::Object> toJdbc() const override;

  // Equal when of the same collection type with equal SQL elements.
  bool equals(const lang::Object* other) const override;
  std::string toString() const override;
  const char* className() const noexcept override { return "ArrayValue"; }

 private:
  // What the constructors from application elements share: sole, when given, holds the only
  // count of elements.
  void takeElements(lang::Object* elements, lang::Ref<lang::Object>* sole);
  // Decodes a kept image in mode 1 with SQL values; call with lock_ held.
  void decodeImage() const;
  void decodeIfKept() const;
  // Makes the SQL values of kept primitive elements; call with lock_ held.
  void convertPrimitives() const;
  // Makes the SQL values of packed elements; call with lock_ held.
  void unpackElements() const;

  lang::Ref<ArrayDescriptor> descriptor_;
  Connection* connection_;  // not owned
  mutable lang::Monitor lock_;
  int64_t length_ = -1;
  lang::Ref<lang::ByteArray> locator_;
  mutable lang::Ref<lang::ObjectArray> sqlValues_;  // SQL values, once known (or converted)
  lang::Ref<lang::Object> platformArray_;           // platform or primitive array from a read
  lang::Ref<lang::Object> primitiveElements_;       // the application's numbers, copied
  mutable lang::Ref<lang::ByteArray> packed_;       // packed elements, until made
  mutable lang::Ref<kelcore::KelvorType> packedType_;
  int32_t packedCount_ = 0;
  lang::Ref<lang::ByteArray> image_;                // kept image
  int64_t imageOffset_ = 0;
  int64_t imageLength_ = 0;
  mutable bool imagePending_ = false;               // the kept image is not decoded yet
  int32_t indexingMode_ = 0;
  std::vector<int64_t> index_;                      // offset of element i at i - 1; -1 unset
  int64_t indexed_ = 0;
  int64_t lastIndex_ = 0;
  int64_t lastOffset_ = 0;
};

}  // namespace kelvor::jdbc
