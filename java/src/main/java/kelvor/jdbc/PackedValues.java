package kelvor.jdbc;

import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.time.LocalDateTime;
import java.util.Arrays;

/**
 * Many value objects crossing the JNI edge at once: their byte forms end to end in one array,
 * with each value's length and class (and, for a character value, its character set). Building
 * or taking apart the Java objects in Java costs a few nanoseconds each; doing it through JNI,
 * several JNI calls each. Items that are not NumberValue, DateValue, RawValue or CharValue (or
 * null) cannot be packed.
 *
 * <p>Public for the descriptors of kelvor.jdbc.kelcore, which hand an object value's attributes
 * to the library in one array and take them back so (attributesOf, attributesFrom); not a part
 * of the driver's API.
 */
public final class PackedValues {
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

  // The attributes of one object value in a single array, as the descriptors of
  // kelvor.jdbc.kelcore hand them to the library and take them back: one JNI array instead of
  // four and a Java object.
  //   wire := count(4) item{count}        big-endian ints
  //   item := kind(1)                     null (kind 0)
  //         | kind(1) length(4) form      NUMBER, DATE, RAW
  //         | kind(1) length(4) charset(4) form   CHAR
  // and, from a read in the platform style only, Java's own objects:
  //         | 16 length(4) bytes          a String of characters below U+0080
  //         | 17 length(4) units          any other String, UTF-16 big-endian
  //         | 18 length(4) text           a BigDecimal, as BigDecimal(String) reads it
  //         | 19 int(4){7}                a LocalDateTime: year month day hour minute second nano
  //         | 20 length(4) bytes          a byte[]
  private static final byte LATIN1 = 16;
  private static final byte UTF16 = 17;
  private static final byte DECIMAL = 18;
  private static final byte TIMESTAMP = 19;
  private static final byte BYTES = 20;

  /** An object value's attributes as one array, or null when one of them cannot be packed. */
  public static byte[] attributesOf(ObjectValue value) {
    Object[] items = value.attributes;
    long total = 4;
    for (Object o : items) {
      if (o == null) {
        total += 1;
        continue;
      }
      Class<?> c = o.getClass();
      if (c != NumberValue.class && c != DateValue.class && c != RawValue.class && c != CharValue.class) {
        return null;
      }
      total += (c == CharValue.class ? 9 : 5) + ((SqlValue) o).bytes.length;
    }
    if (total > Integer.MAX_VALUE - 8) {
      return null;
    }
    byte[] wire = new byte[(int) total];
    int at = putInt(wire, 0, items.length);
    for (Object o : items) {
      SqlValue v = (SqlValue) o;
      if (v == null) {
        ++at;  // kind 0
        continue;
      }
      wire[at++] = (byte) v.kind;
      at = putInt(wire, at, v.bytes.length);
      if (v.kind == SqlValue.CHAR) {
        at = putInt(wire, at, ((CharValue) v).charsetId);
      }
      System.arraycopy(v.bytes, 0, wire, at, v.bytes.length);
      at += v.bytes.length;
    }
    return wire;
  }

  /** The objects of an array as the library writes it (attributesOf's, or a read's), made anew. */
  public static Object[] attributesFrom(byte[] wire) {
    Object[] out = new Object[getInt(wire, 0)];
    int at = 4;
    for (int i = 0; i < out.length; ++i) {
      byte kind = wire[at++];
      if (kind == 0) {
        continue;
      }
      if (kind == TIMESTAMP) {
        out[i] = LocalDateTime.of(getInt(wire, at), getInt(wire, at + 4), getInt(wire, at + 8),
            getInt(wire, at + 12), getInt(wire, at + 16), getInt(wire, at + 20), getInt(wire, at + 24));
        at += 28;
        continue;
      }
      int n = getInt(wire, at);
      at += 4;
      if (kind >= LATIN1) {
        out[i] = platform(kind, wire, at, n);
        at += n;
        continue;
      }
      int charset = 0;
      if (kind == SqlValue.CHAR) {
        charset = getInt(wire, at);
        at += 4;
      }
      byte[] b = Arrays.copyOfRange(wire, at, at + n);
      at += n;
      out[i] = make(kind, b, charset);
    }
    return out;
  }

  private static int putInt(byte[] b, int at, int v) {
    b[at] = (byte) (v >>> 24);
    b[at + 1] = (byte) (v >>> 16);
    b[at + 2] = (byte) (v >>> 8);
    b[at + 3] = (byte) v;
    return at + 4;
  }

  private static int getInt(byte[] b, int at) {
    return (b[at] << 24) | ((b[at + 1] & 0xFF) << 16) | ((b[at + 2] & 0xFF) << 8) | (b[at + 3] & 0xFF);
  }

  private static Object platform(byte kind, byte[] wire, int at, int n) {
    switch (kind) {
      case LATIN1:
        return new String(wire, at, n, StandardCharsets.ISO_8859_1);
      case UTF16:
        return new String(wire, at, n, StandardCharsets.UTF_16BE);
      case DECIMAL:
        return new BigDecimal(new String(wire, at, n, StandardCharsets.ISO_8859_1));
      default:
        return Arrays.copyOfRange(wire, at, at + n);
    }
  }

  private static Object make(byte kind, byte[] b, int charset) {
    switch (kind) {
      case SqlValue.NUMBER:
        return new NumberValue(b);
      case SqlValue.DATE:
        return new DateValue(b);
      case SqlValue.CHAR:
        return new CharValue(b, charset);
      default:
        return new RawValue(b);
    }
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

  /** The value objects, made anew. */
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
      out[i] = make(kinds[i], b, charsets != null ? charsets[i] : 0);
    }
    return out;
  }
}
