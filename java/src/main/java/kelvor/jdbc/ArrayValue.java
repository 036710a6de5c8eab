package kelvor.jdbc;

import java.util.Arrays;
import kelvor.jdbc.kelcore.KelvorTypeCOLLECTION;

/**
 * A value of a collection type: its descriptor and its elements, as an Object[] (value classes
 * or Java objects) or a primitive array of numbers (int[], long[], short[], double[],
 * float[]); or, for a collection the server keeps, only its locator.
 */
public final class ArrayValue {
  final KelvorTypeCOLLECTION type;
  // The elements as given, or once made from packed.
  private volatile Object elements;
  // Elements of value classes as the native library read them, their byte forms in one array,
  // until the first getElements() makes their objects: a read of a million numbers makes three
  // arrays, not two million objects. It is set to null after elements (see heldElements).
  private volatile PackedValues packed;
  final byte[] locator;
  private final long length;

  public ArrayValue(KelvorTypeCOLLECTION type, Object elements) {
    this(type, elements, null, elements == null ? 0 : java.lang.reflect.Array.getLength(elements));
  }

  // Also made by the native library: `length` is the element count a reader found (a
  // count-only read holds no elements).
  ArrayValue(KelvorTypeCOLLECTION type, Object elements, byte[] locator, long length) {
    this.type = type;
    this.elements = elements;
    this.locator = locator;
    this.length = length;
  }

  // Made by the native library from elements it read.
  ArrayValue(KelvorTypeCOLLECTION type, PackedValues packed, long length) {
    this(type, null, null, length);
    this.packed = packed;
  }

  public static ArrayValue ofLocator(KelvorTypeCOLLECTION type, byte[] locator) {
    return new ArrayValue(type, null, locator.clone(), 0);
  }

  /** The number of elements (as read, for a count-only read). */
  public long getLength() {
    return length;
  }

  public KelvorTypeCOLLECTION getType() {
    return type;
  }

  /** The elements as they were given or read: Object[] or a primitive array; null for a locator. */
  public Object getElements() {
    Object e = elements;
    if (e == null && packed != null) {
      synchronized (this) {
        e = elements;
        if (e == null && packed != null) {
          e = packed.unpack();
          elements = e;
          packed = null;
        }
      }
    }
    return e;
  }

  /**
   * What the value holds for the native library and AttributeWire: the elements, else the packed
   * ones while no getElements() has made them (a PackedValues), else null.
   */
  Object heldElements() {
    Object e = elements;
    if (e != null) {
      return e;
    }
    PackedValues p = packed;
    // getElements() sets elements before it drops packed
    return p != null ? p : elements;
  }

  public byte[] getLocator() {
    return locator == null ? null : locator.clone();
  }

  @Override
  public boolean equals(Object o) {
    if (!(o instanceof ArrayValue)) {
      return false;
    }
    ArrayValue a = (ArrayValue) o;
    return a.type == type
        && Arrays.deepEquals(new Object[] {getElements()}, new Object[] {a.getElements()})
        && Arrays.equals(locator, a.locator);
  }

  @Override
  public int hashCode() {
    return Arrays.deepHashCode(new Object[] {getElements()});
  }

  @Override
  public String toString() {
    return "ArrayValue" + Arrays.deepToString(new Object[] {getElements()});
  }
}
