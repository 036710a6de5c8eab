#include "driver/ArrayValue.h"

#include <sstream>

#include "collection/KelvorTypeCOLLECTION.h"
#include "driver/DriverException.h"
#include "driver/ErrorRaiser.h"
#include "driver/PlatformArrayFactory.h"
#include "driver/TypeName.h"
#include "image/PickleContext.h"
#include "image/UnpickleContext.h"
#include "lang/Exceptions.h"

namespace kelvor::jdbc {

namespace {

constexpr int32_t STYLE_SQL_VALUE = 1;
constexpr int32_t DECODE = 1;

kelcore::KelvorType& elementTypeOf(const ArrayDescriptor& d) {
  lang::Ref<kelcore::KelvorType> element = d.getElementType();
  if (!element) lang::throwNullPointer("collection type without an element type");
  return *element;
}

// A short, int or long array as a value keeps it: the array itself when sole holds its only
// count, else a copy; null for any other object.
template <typename A>
lang::Ref<lang::Object> kept(const A& a, lang::Ref<lang::Object>* sole) {
  if (sole != nullptr) return std::move(*sole);
  return A::copyOf(a.data(), a.length());
}
lang::Ref<lang::Object> wholeNumbersKept(const lang::Object& elements,
                                         lang::Ref<lang::Object>* sole) {
  if (const auto* a = dynamic_cast<const lang::IntArray*>(&elements)) return kept(*a, sole);
  if (const auto* a = dynamic_cast<const lang::LongArray*>(&elements)) return kept(*a, sole);
  if (const auto* a = dynamic_cast<const lang::ShortArray*>(&elements)) return kept(*a, sole);
  return nullptr;
}

int64_t lengthOf(const lang::Object& array) {
  if (const auto* a = dynamic_cast<const lang::IntArray*>(&array)) return a->length();
  if (const auto* a = dynamic_cast<const lang::LongArray*>(&array)) return a->length();
  return static_cast<const lang::ShortArray&>(array).length();
}

}  // namespace

ArrayValue::ArrayValue(lang::Ref<ArrayDescriptor> descriptor, lang::Ref<lang::ByteArray> image,
                       Connection* connection)
    : descriptor_(std::move(descriptor)), connection_(connection) {
  addClassBits(CLASS_BIT);
  if (!descriptor_) lang::throwNullPointer("collection value without a descriptor");
  if (image) setImage(std::move(image), 0, 0);
}

ArrayValue::ArrayValue(lang::Ref<ArrayDescriptor> descriptor, Connection* connection,
                       lang::Object* elements)
    : ArrayValue(std::move(descriptor), lang::Ref<lang::ByteArray>(), connection) {
  takeElements(elements, nullptr);
}

ArrayValue::ArrayValue(lang::Ref<ArrayDescriptor> descriptor, Connection* connection,
                       lang::Ref<lang::Object>&& elements)
    : ArrayValue(std::move(descriptor), lang::Ref<lang::ByteArray>(), connection) {
  // With the only count in hand, no one else can change the array.
  const bool sole = elements && elements->referenceCount() == 1;
  takeElements(elements.get(), sole ? &elements : nullptr);
}

void ArrayValue::takeElements(lang::Object* elements, lang::Ref<lang::Object>* sole) {
  if (elements == nullptr) return;
  // Whole numbers for NUMBER elements always convert: they are kept as they are (a copy, so
  // that later changes to the caller's array do not show, unless nothing else holds it) and
  // converted on demand; writers encode them directly.
  if (elementTypeOf(*descriptor_).kind() == kelcore::TypeKind::Number) {
    primitiveElements_ = wholeNumbersKept(*elements, sole);
    if (primitiveElements_) {
      length_ = lengthOf(*primitiveElements_);
      return;
    }
  }
  sqlValues_ = elementTypeOf(*descriptor_).toSqlValueArray(elements, connection_, 1, -1);
  if (!sqlValues_) ErrorRaiser::raise(DriverException::ERR_CONVERSION, elements);
  length_ = sqlValues_->length();
}

ArrayValue::~ArrayValue() = default;

lang::Ref<ArrayValue> ArrayValue::ofLocator(lang::Ref<ArrayDescriptor> descriptor,
                                            Connection* connection,
                                            lang::Ref<lang::ByteArray> locator) {
  if (!locator) lang::throwNullPointer("collection locator is null");
  auto value =
      lang::makeRef<ArrayValue>(std::move(descriptor), lang::Ref<lang::ByteArray>(), connection);
  value->setLocator(std::move(locator));
  return value;
}

void ArrayValue::setImage(lang::Ref<lang::ByteArray> image, int64_t offset, int64_t length) {
  std::lock_guard<lang::Monitor> hold(lock_);
  image_ = std::move(image);
  imageOffset_ = offset;
  imageLength_ = length;
  imagePending_ = static_cast<bool>(image_);
}

bool ArrayValue::isImageOnly() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  return imagePending_;
}

void ArrayValue::decodeImage() const {
  // Cleared first: the reader stores into this value and must not decode it again.
  imagePending_ = false;
  const lang::BlockArena::Scope placeValues(  // the elements share blocks
      imageLength_ > 0 ? imageLength_ : image_->length() - imageOffset_, true);
  const lang::Ref<kelcore::KelvorTypeCOLLECTION>& type = descriptor_->getKelvorType();
  lang::Ref<lang::ByteArray> image = image_;
  if (imageOffset_ < 0 || imageOffset_ >= image->length()) {
    lang::throwIndexOutOfBounds(imageOffset_, image->length());
  }
  auto* self = const_cast<ArrayValue*>(this);
  // The layout is told by the byte at the value's own offset.
  if (((*image)[static_cast<int32_t>(imageOffset_)] & 0x80) != 0) {
    kelcore::PickleContext ctx(image.get(), imageOffset_, kelcore::PickleContext::Borrowed{});
    (void)type->unpickle(ctx, self, DECODE, STYLE_SQL_VALUE, nullptr);
  } else {
    kelcore::UnpickleContext ctx(image, static_cast<int32_t>(imageOffset_), nullptr, nullptr,
                                 static_cast<int8_t>(type->getFormatFlag() ? 1 : 0));
    (void)type->unpickleLinear(ctx, self, DECODE, STYLE_SQL_VALUE, nullptr);
  }
}

void ArrayValue::decodeIfKept() const {
  if (imagePending_) decodeImage();
}

void ArrayValue::unpackElements() const {
  if (!packed_) return;
  // The bytes were checked when they were read: every value is there, and no read fails.
  // Borrowed: packed_ stays until every element is made.
  kelcore::PickleContext ctx(packed_.get(), 0, kelcore::PickleContext::Borrowed{});
  lang::Ref<lang::ObjectArray> values = lang::ObjectArray::makeOf<SqlValue>(packedCount_);
  for (int32_t i = 0; i < packedCount_; ++i) {
    values->set(i, packedType_->unpickle(ctx, STYLE_SQL_VALUE, nullptr));
  }
  sqlValues_ = std::move(values);
  packed_ = nullptr;
  packedType_ = nullptr;
}

void ArrayValue::convertPrimitives() const {
  if (!sqlValues_ && primitiveElements_) {
    sqlValues_ =
        elementTypeOf(*descriptor_).toSqlValueArray(primitiveElements_.get(), connection_, 1, -1);
  }
}

lang::Ref<lang::Object> ArrayValue::getPrimitiveElements() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  return primitiveElements_;
}

bool ArrayValue::holdsElements() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  return sqlValues_ || packed_ || platformArray_ || primitiveElements_ || !locator_;
}

lang::Ref<lang::ObjectArray> ArrayValue::getSqlValueElements() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  unpackElements();
  convertPrimitives();
  if (!sqlValues_ && platformArray_) {
    sqlValues_ =
        elementTypeOf(*descriptor_).toSqlValueArray(platformArray_.get(), connection_, 1, -1);
  }
  return sqlValues_;
}

int64_t ArrayValue::elementCount() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  return length_;
}

void ArrayValue::setSqlValueArray(lang::Ref<lang::ObjectArray> values) {
  std::lock_guard<lang::Monitor> hold(lock_);
  sqlValues_ = std::move(values);
  platformArray_ = nullptr;
  primitiveElements_ = nullptr;
  packed_ = nullptr;
  packedType_ = nullptr;
}

void ArrayValue::setPackedElements(lang::Ref<lang::ByteArray> values, int32_t count,
                                   lang::Ref<kelcore::KelvorType> type) {
  std::lock_guard<lang::Monitor> hold(lock_);
  packed_ = std::move(values);
  packedType_ = std::move(type);
  packedCount_ = count;
  sqlValues_ = nullptr;
  platformArray_ = nullptr;
  primitiveElements_ = nullptr;
}

bool ArrayValue::holdsPackedElements() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  return static_cast<bool>(packed_);
}

lang::Ref<kelcore::KelvorType> ArrayValue::packedForms(std::vector<int8_t>& forms,
                                                       std::vector<int32_t>& lengths) const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  if (!packed_) return nullptr;
  // Read as unpackElements reads them: the element types that pack (NUMBER, DATE) make a null
  // of an empty data value and otherwise hold the data value's bytes as their form.
  kelcore::PickleContext ctx(packed_.get(), 0, kelcore::PickleContext::Borrowed{});
  // The forms take fewer bytes than the packed values with their lengths.
  const size_t start = forms.size();
  forms.resize(start + static_cast<size_t>(packed_->length()));
  int8_t* out = forms.data() + start;
  lengths.reserve(lengths.size() + static_cast<size_t>(packedCount_));
  for (int32_t i = 0; i < packedCount_; ++i) {
    const std::span<const int8_t> form = ctx.readDataSpan();
    lengths.push_back(form.empty() ? -1 : static_cast<int32_t>(form.size()));
    for (const int8_t b : form) *out++ = b;  // a few bytes each: no call
  }
  forms.resize(static_cast<size_t>(out - forms.data()));
  return packedType_;
}

void ArrayValue::setPlatformArray(lang::Ref<lang::Object> array) {
  std::lock_guard<lang::Monitor> hold(lock_);
  platformArray_ = std::move(array);
  sqlValues_ = nullptr;
  primitiveElements_ = nullptr;
  packed_ = nullptr;
  packedType_ = nullptr;
}

lang::Ref<lang::Object> ArrayValue::getPlatformArray() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  return platformArray_;
}

void ArrayValue::setIndexOffset(int64_t i, int64_t offset) {
  // Positions come from readers that checked their counts against the image, so i is bounded
  // by the image's size; a position below 1 names no element.
  if (i < 1) return;
  const auto at = static_cast<size_t>(i - 1);
  if (at >= index_.size()) index_.resize(at + 1, -1);
  if (index_[at] == -1) ++indexed_;
  index_[at] = offset;
}

int64_t ArrayValue::getIndexOffset(int64_t i) const noexcept {
  if (i < 1 || static_cast<uint64_t>(i - 1) >= index_.size()) return -1;
  return index_[static_cast<size_t>(i - 1)];
}

lang::Ref<lang::Object> ArrayValue::toJdbc() const {
  std::lock_guard<lang::Monitor> hold(lock_);
  decodeIfKept();
  if (platformArray_) return platformArray_;
  unpackElements();
  convertPrimitives();
  if (!sqlValues_) return nullptr;
  lang::Ref<lang::ObjectArray> out = PlatformArrayFactory::makeArray(
      elementTypeOf(*descriptor_).getTypeCode(), sqlValues_->length());
  for (int32_t i = 0; i < sqlValues_->length(); ++i) {
    if (auto* v = dynamic_cast<SqlValue*>(sqlValues_->at(i))) out->set(i, v->toJdbc());
  }
  return out;
}

bool ArrayValue::equals(const lang::Object* other) const {
  if (other == this) return true;
  const auto* o = dynamic_cast<const ArrayValue*>(other);
  if (o == nullptr) return false;
  if (!sameTypeName(*descriptor_->getKelvorType(), *o->descriptor_->getKelvorType())) return false;
  lang::Ref<lang::ObjectArray> mine = getSqlValueElements();
  lang::Ref<lang::ObjectArray> theirs = o->getSqlValueElements();
  if (!mine || !theirs) {
    return !mine && !theirs && locator_ && o->locator_ && locator_->sameContents(*o->locator_);
  }
  return mine->sameElements(*theirs);
}

std::string ArrayValue::toString() const {
  std::ostringstream text;
  text << "ARRAY(";
  lang::Ref<lang::ObjectArray> values = getSqlValueElements();
  for (int32_t i = 0; values && i < values->length(); ++i) {
    if (i > 0) text << ", ";
    const lang::Object* v = values->at(i);
    text << (v == nullptr ? std::string("null") : v->toString());
  }
  text << ')';
  return text.str();
}

}  // namespace kelvor::jdbc
