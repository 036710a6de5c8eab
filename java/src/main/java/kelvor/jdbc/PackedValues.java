package kelvor.jdbc;

import java.util.Arrays;

/**
 * Many value objects crossing the JNI edge at once: their byte forms end to end in one array,
 * with each value's length and class (and, for a character value, its character set). Building
 * or taking apart the Java objects in Java costs a few nanoseconds each; doing it through JNI,
 * several JNI calls each. Items that are not NumberValue, DateValue, RawValue or CharValue (or
 * null) cannot be packed.
 */
final class PackedValues {
  final byte[] bytes;
  final int[] lengths;  // -1: null
  final byte[] kinds;  // SqlValue.NUMBER, CHAR, DATE, RAW; 0 for null
  final int[] charsets;  // the character set of each CHAR item; null when there is none

  PackedValues(byte[] bytes, int[] lengths, byte[] kinds, int[] charsets) {
    this.bytes = bytes;
    this.lengths = lengths;
    this.kinds = kinds;
    this.charsets = charsets;
  }

  /** The packed form of items, or null when an item cannot be packed. */
  static PackedValues pack(Object[] items) {
    long total = 0;
    boolean chars = false;
    for (Object o : items) {
      if (o == null) {
        continue;
      }
      Class<?> c = o.getClass();
      if (c != NumberValue.class && c != DateValue.class && c != RawValue.class && c != CharValue.class) {
        return null;
      }
      chars |= c == CharValue.class;
      total += ((SqlValue) o).bytes.length;
    }
    if (total > Integer.MAX_VALUE - 8) {
      return null;
    }
    byte[] all = new byte[(int) total];
    int[] lengths = new int[items.length];
    byte[] kinds = new byte[items.length];
    int[] charsets = chars ? new int[items.length] : null;
    int at = 0;
    for (int i = 0; i < items.length; ++i) {
      SqlValue v = (SqlValue) items[i];
      if (v == null) {
        lengths[i] = -1;
        continue;
      }
      System.arraycopy(v.bytes, 0, all, at, v.bytes.length);
      at += v.bytes.length;
      lengths[i] = v.bytes.length;
      kinds[i] = (byte) v.kind;
      if (v.kind == SqlValue.CHAR) {
        charsets[i] = ((CharValue) v).charsetId;
      }
    }
    return new PackedValues(all, lengths, kinds, charsets);
  }

  /** The value objects. */
  Object[] unpack() {
    Object[] out = new Object[lengths.length];
    int at = 0;
    for (int i = 0; i < out.length; ++i) {
      int n = lengths[i];
      if (n < 0) {
        continue;
      }
      byte[] b = Arrays.copyOfRange(bytes, at, at + n);
      at += n;
      switch (kinds[i]) {
        case SqlValue.NUMBER:
          out[i] = new NumberValue(b);
          break;
        case SqlValue.DATE:
          out[i] = new DateValue(b);
          break;
        case SqlValue.CHAR:
          out[i] = new CharValue(b, charsets[i]);
          break;
        default:
          out[i] = new RawValue(b);
          break;
      }
    }
    return out;
  }
}
