package kelvor.jdbc;

import java.math.BigDecimal;
import java.nio.charset.StandardCharsets;
import java.time.LocalDateTime;
import java.util.ArrayList;
import java.util.Arrays;
import kelvor.jdbc.kelcore.KelvorTypeADT;
import kelvor.jdbc.kelcore.KelvorTypeCOLLECTION;

/**
 * The attributes of one object value in a single byte array, as the descriptors of
 * kelvor.jdbc.kelcore hand them to the library and take them back: one JNI array instead of a
 * JNI call or more per attribute. Public for those descriptors; not a part of the driver's API.
 *
 * <pre>
 *   wire := count(4) item{count}                 ints big-endian
 *   item := 0                                    null
 *         | kind(1) length(4) form               NumberValue, DateValue, RawValue (SqlValue.kind)
 *         | 2 length(4) charset(4) form          CharValue
 *         | 16 length(4) bytes                   a String of characters below U+0080
 *         | 17 length(4) units                   any other String: its UTF-16 code units
 *         | 18 length(4) text                    a BigDecimal: its toString()
 *         | 19 int(4){7}                         a LocalDateTime: year month day hour minute
 *                                                second nano
 *         | 20 length(4) bytes                   a byte[]
 *         | 21 int(4) | 22 long(8) | 23 short(2) | 24 byte(1)    Integer Long Short Byte
 *         | 25 bits(8) | 26 bits(4) | 27 byte(1)                Double Float Boolean
 *         | 28 type(4) count(4) item{count}              an ObjectValue: its attributes
 *         | 29 type(4) length(8) count(4) item{count}    an ArrayValue: its elements
 *         | 30 count(4) item{count}                      an Object[]: its items
 * </pre>
 *
 * The type of an object or collection value is its position in a list of descriptors that
 * crosses beside the array (types()), -1 for none. Items of exactly these classes cross so, a
 * collection only with an Object[] of elements or with elements read and not yet made; any
 * other item (a subclass, a locator, a primitive array of elements) leaves the whole array to
 * the general path, one conversion per item.
 */
public final class AttributeWire {
  private static final byte LATIN1 = 16;
  private static final byte UTF16 = 17;
  private static final byte DECIMAL = 18;
  private static final byte TIMESTAMP = 19;
  private static final byte BYTES = 20;
  private static final byte INT = 21;
  private static final byte LONG = 22;
  private static final byte SHORT = 23;
  private static final byte BYTE = 24;
  private static final byte DOUBLE = 25;
  private static final byte FLOAT = 26;
  private static final byte BOOLEAN = 27;
  private static final byte OBJECT = 28;
  private static final byte ARRAY = 29;
  private static final byte OBJECTS = 30;
  // Collections of at least this many value objects arrive packed (as the native library's
  // PACK_MIN).
  private static final int PACKED_MIN = 4;
  // As the library's bound on nesting: a deeper value takes the general path, which refuses it.
  private static final int MAX_DEPTH = 100;

  private ArrayList<Object> types;  // made with the first one

  private byte[] out = new byte[128];
  private int at;

  private AttributeWire() {}

  /** An object value's attributes as one array, or null when one of them cannot cross so. */
  public static AttributeWire of(ObjectValue value) {
    return of(value.attributes);
  }

  /** An object value's attributes as one array, or null when one of them cannot cross so. */
  public static AttributeWire of(Object[] items) {
    AttributeWire w = new AttributeWire();
    return w.putList(items, 1) ? w : null;
  }

  /** The array. */
  public byte[] bytes() {
    return Arrays.copyOf(out, at);
  }

  /** The descriptors of the objects and collections in the array, by position; null for none. */
  public Object[] types() {
    return types == null ? null : types.toArray();
  }

  private boolean putList(Object[] items, int depth) {
    if (depth > MAX_DEPTH) {
      return false;
    }
    putInt(items.length);
    for (Object o : items) {
      boolean done;
      if (o instanceof ObjectValue) {
        ObjectValue v = (ObjectValue) o;
        putKind(OBJECT);
        putInt(typeIndex(v.type));
        done = putList(v.attributes, depth + 1);
      } else if (o instanceof ArrayValue) {
        ArrayValue a = (ArrayValue) o;
        Object held = a.locator == null ? a.heldElements() : null;
        done = held instanceof Object[] || held instanceof PackedValues;
        if (done) {
          putKind(ARRAY);
          putInt(typeIndex(a.type));
          if (held instanceof PackedValues) {
            PackedValues p = (PackedValues) held;
            putLong(p.lengths.length);
            putPacked(p);
          } else {
            Object[] elements = (Object[]) held;
            putLong(elements.length);
            done = putList(elements, depth + 1);
          }
        }
      } else if (o instanceof Object[]) {
        putKind(OBJECTS);
        done = putList((Object[]) o, depth + 1);
      } else {
        done = put(o);
      }
      if (!done) {
        return false;
      }
    }
    return true;
  }

  // Packed values, each as put() writes its value object.
  private void putPacked(PackedValues p) {
    putInt(p.lengths.length);
    int from = 0;
    for (int i = 0; i < p.lengths.length; ++i) {
      int n = p.lengths[i];
      if (n < 0) {
        putKind((byte) 0);
        continue;
      }
      putForm(p.kinds[i], p.kinds[i] == SqlValue.CHAR ? p.charsets[i] : 0, p.bytes, from, n);
      from += n;
    }
  }

  // A value object's item: its kind, the length of its form, its character set for a
  // CharValue, then the form (n bytes of b from `from`).
  private void putForm(byte kind, int charset, byte[] b, int from, int n) {
    putKind(kind);
    putInt(n);
    if (kind == SqlValue.CHAR) {
      putInt(charset);
    }
    room(n);
    System.arraycopy(b, from, out, at, n);
    at += n;
  }

  private int typeIndex(Object type) {
    if (type == null) {
      return -1;
    }
    if (types == null) {
      types = new ArrayList<>();
    }
    for (int i = 0; i < types.size(); ++i) {
      if (types.get(i) == type) {
        return i;
      }
    }
    types.add(type);
    return types.size() - 1;
  }

  private boolean put(Object o) {
    if (o == null) {
      room(1);
      out[at++] = 0;
      return true;
    }
    Class<?> c = o.getClass();
    if (c == NumberValue.class || c == DateValue.class || c == RawValue.class || c == CharValue.class) {
      SqlValue v = (SqlValue) o;
      putForm((byte) v.kind, c == CharValue.class ? ((CharValue) v).charsetId : 0, v.bytes, 0, v.bytes.length);
    } else if (c == String.class) {
      putString((String) o);
    } else if (c == BigDecimal.class) {
      putKind(DECIMAL);
      byte[] text = o.toString().getBytes(StandardCharsets.ISO_8859_1);  // digits, sign, E, point
      putInt(text.length);
      putBytes(text);
    } else if (c == LocalDateTime.class) {
      LocalDateTime t = (LocalDateTime) o;
      putKind(TIMESTAMP);
      putInt(t.getYear());
      putInt(t.getMonthValue());
      putInt(t.getDayOfMonth());
      putInt(t.getHour());
      putInt(t.getMinute());
      putInt(t.getSecond());
      putInt(t.getNano());
    } else if (c == byte[].class) {
      putKind(BYTES);
      putInt(((byte[]) o).length);
      putBytes((byte[]) o);
    } else if (c == Integer.class) {
      putKind(INT);
      putInt((Integer) o);
    } else if (c == Long.class) {
      putKind(LONG);
      putLong((Long) o);
    } else if (c == Short.class) {
      putKind(SHORT);
      putShort((Short) o);
    } else if (c == Byte.class) {
      putKind(BYTE);
      putKind((Byte) o);
    } else if (c == Double.class) {
      putKind(DOUBLE);
      putLong(Double.doubleToRawLongBits((Double) o));
    } else if (c == Float.class) {
      putKind(FLOAT);
      putInt(Float.floatToRawIntBits((Float) o));
    } else if (c == Boolean.class) {
      putKind(BOOLEAN);
      putKind((byte) ((Boolean) o ? 1 : 0));
    } else {
      return false;
    }
    return true;
  }

  // The code units as they are (a lone surrogate too, as GetStringRegion gives it).
  private void putString(String s) {
    int n = s.length();
    boolean ascii = true;
    for (int i = 0; i < n && ascii; ++i) {
      ascii = s.charAt(i) < 0x80;
    }
    putKind(ascii ? LATIN1 : UTF16);
    putInt(ascii ? n : 2 * n);
    room(ascii ? n : 2 * n);
    for (int i = 0; i < n; ++i) {
      char ch = s.charAt(i);
      if (!ascii) {
        out[at++] = (byte) (ch >>> 8);
      }
      out[at++] = (byte) ch;
    }
  }

  private void room(int n) {
    if (out.length - at < n) {
      out = Arrays.copyOf(out, Math.max(out.length * 2, at + n));
    }
  }

  private void putKind(byte b) {
    room(1);
    out[at++] = b;
  }

  private void putShort(short v) {
    room(2);
    out[at++] = (byte) (v >>> 8);
    out[at++] = (byte) v;
  }

  private void putInt(int v) {
    room(4);
    out[at++] = (byte) (v >>> 24);
    out[at++] = (byte) (v >>> 16);
    out[at++] = (byte) (v >>> 8);
    out[at++] = (byte) v;
  }

  private void putLong(long v) {
    putInt((int) (v >>> 32));
    putInt((int) v);
  }

  private void putBytes(byte[] b) {
    room(b.length);
    System.arraycopy(b, 0, out, at, b.length);
    at += b.length;
  }

  /**
   * The items of an array as the library writes it, made anew; types: the descriptors its
   * objects and collections name by position.
   */
  public static Object[] items(byte[] wire, Object[] types) {
    return new Reader(wire, types).list();
  }

  private static final class Reader {
    private final byte[] in;
    private final Object[] types;
    private int at;

    Reader(byte[] in, Object[] types) {
      this.in = in;
      this.types = types;
    }

    Object[] list() {
      Object[] items = new Object[getInt()];
      for (int i = 0; i < items.length; ++i) {
        items[i] = item();
      }
      return items;
    }

    // A list of at least PACKED_MIN value objects and nulls as their forms end to end, the
    // objects left for the collection value to make on first access; null, with nothing read,
    // for any other list.
    PackedValues packedList() {
      int start = at;
      int n = getInt();
      if (n < PACKED_MIN) {
        at = start;
        return null;
      }
      long total = 0;
      boolean chars = false;
      for (int i = 0; i < n; ++i) {
        byte kind = in[at++];
        if (kind == 0) {
          continue;
        }
        if (kind != SqlValue.NUMBER && kind != SqlValue.DATE && kind != SqlValue.RAW && kind != SqlValue.CHAR) {
          at = start;
          return null;
        }
        int length = getInt();
        chars |= kind == SqlValue.CHAR;
        at += kind == SqlValue.CHAR ? 4 + length : length;
        total += length;
      }
      at = start + 4;
      byte[] bytes = new byte[(int) total];
      int[] lengths = new int[n];
      byte[] kinds = new byte[n];
      int[] charsets = chars ? new int[n] : null;
      int to = 0;
      for (int i = 0; i < n; ++i) {
        byte kind = in[at++];
        kinds[i] = kind;
        if (kind == 0) {
          lengths[i] = -1;
          continue;
        }
        int length = getInt();
        if (kind == SqlValue.CHAR) {
          charsets[i] = getInt();
        }
        System.arraycopy(in, at, bytes, to, length);
        at += length;
        to += length;
        lengths[i] = length;
      }
      return new PackedValues(bytes, lengths, kinds, charsets);
    }

    Object type() {
      int i = getInt();
      return i < 0 ? null : types[i];
    }

    Object item() {
      byte kind = in[at++];
      switch (kind) {
        case 0:
          return null;
        case OBJECT: {
          KelvorTypeADT type = (KelvorTypeADT) type();
          return new ObjectValue(type, list());
        }
        case ARRAY: {
          KelvorTypeCOLLECTION type = (KelvorTypeCOLLECTION) type();
          long length = getLong();
          PackedValues packed = packedList();
          return packed != null ? new ArrayValue(type, packed, length) : new ArrayValue(type, list(), null, length);
        }
        case OBJECTS:
          return list();
        case SqlValue.NUMBER:
          return new NumberValue(bytes(getInt()));
        case SqlValue.DATE:
          return new DateValue(bytes(getInt()));
        case SqlValue.RAW:
          return new RawValue(bytes(getInt()));
        case SqlValue.CHAR: {
          int n = getInt();
          int charset = getInt();
          return new CharValue(bytes(n), charset);
        }
        case LATIN1: {
          int n = getInt();
          at += n;
          return new String(in, at - n, n, StandardCharsets.ISO_8859_1);
        }
        case UTF16: {
          char[] units = new char[getInt() / 2];
          for (int k = 0; k < units.length; ++k, at += 2) {
            units[k] = (char) (((in[at] & 0xFF) << 8) | (in[at + 1] & 0xFF));
          }
          return new String(units);
        }
        case DECIMAL: {
          int n = getInt();
          at += n;
          return new BigDecimal(new String(in, at - n, n, StandardCharsets.ISO_8859_1));
        }
        case TIMESTAMP:
          return LocalDateTime.of(getInt(), getInt(), getInt(), getInt(), getInt(), getInt(), getInt());
        case BYTES:
          return bytes(getInt());
        case INT:
          return getInt();
        case LONG:
          return getLong();
        case SHORT:
          return (short) ((in[at++] << 8) | (in[at++] & 0xFF));
        case BYTE:
          return in[at++];
        case DOUBLE:
          return Double.longBitsToDouble(getLong());
        case FLOAT:
          return Float.intBitsToFloat(getInt());
        case BOOLEAN:
          return in[at++] != 0;
        default:
          throw new IllegalStateException("attribute wire: unknown kind " + kind);
      }
    }

    byte[] bytes(int n) {
      at += n;
      return Arrays.copyOfRange(in, at - n, at);
    }

    int getInt() {
      int v = ((in[at] & 0xFF) << 24) | ((in[at + 1] & 0xFF) << 16) | ((in[at + 2] & 0xFF) << 8) | (in[at + 3] & 0xFF);
      at += 4;
      return v;
    }

    long getLong() {
      long high = getInt();
      return (high << 32) | (getInt() & 0xFFFFFFFFL);
    }
  }
}
