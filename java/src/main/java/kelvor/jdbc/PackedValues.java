package kelvor.jdbc;

import java.util.Arrays;

/**
 * Many value objects of one class crossing the JNI edge at once: their byte forms end to end
 * in one array, with each value's length (-1 for null). Building or taking apart the Java
 * objects in Java costs a few nanoseconds each; doing it through JNI, several JNI calls each.
 */
final class PackedValues {
  final int kind;
  final int charsetId;
  final byte[] bytes;
  final int[] lengths;

  PackedValues(int kind, int charsetId, byte[] bytes, int[] lengths) {
    this.kind = kind;
    this.charsetId = charsetId;
    this.bytes = bytes;
    this.lengths = lengths;
  }

  /**
   * The packed form of items when every item is null or a NumberValue, DateValue, RawValue, or
   * CharValue of one character set, all of one class; otherwise null.
   */
  static PackedValues pack(Object[] items) {
    int kind = 0;
    int charsetId = 0;
    long total = 0;
    for (Object o : items) {
      if (o == null) {
        continue;
      }
      Class<?> c = o.getClass();
      if (c != NumberValue.class && c != DateValue.class && c != RawValue.class && c != CharValue.class) {
        return null;
      }
      SqlValue v = (SqlValue) o;
      int cs = v instanceof CharValue ? ((CharValue) v).charsetId : 0;
      if (kind == 0) {
        kind = v.kind;
        charsetId = cs;
      } else if (v.kind != kind || cs != charsetId) {
        return null;
      }
      total += v.bytes.length;
    }
    if (kind == 0 || total > Integer.MAX_VALUE - 8) {
      return null;
    }
    byte[] all = new byte[(int) total];
    int[] lengths = new int[items.length];
    int at = 0;
    for (int i = 0; i < items.length; ++i) {
      if (items[i] == null) {
        lengths[i] = -1;
        continue;
      }
      byte[] b = ((SqlValue) items[i]).bytes;
      System.arraycopy(b, 0, all, at, b.length);
      at += b.length;
      lengths[i] = b.length;
    }
    return new PackedValues(kind, charsetId, all, lengths);
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
      switch (kind) {
        case SqlValue.NUMBER:
          out[i] = new NumberValue(b);
          break;
        case SqlValue.DATE:
          out[i] = new DateValue(b);
          break;
        case SqlValue.CHAR:
          out[i] = new CharValue(b, charsetId);
          break;
        default:
          out[i] = new RawValue(b);
          break;
      }
    }
    return out;
  }
}
