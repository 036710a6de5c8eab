package kelvor.jdbc.kelcore;

import kelvor.jdbc.Connection;

/**
 * The descriptor of a collection type: its element descriptor, and the readers of whole
 * collections, of slices and of NUMBER elements straight into primitive arrays.
 */
public class KelvorTypeCOLLECTION extends KelvorTypeADT {
  /** The element style that reads the count only (ArrayValue.getLength). */
  public static final int STYLE_COUNT_ONLY = 0;

  /** Primitive access kinds of NUMBER and FLOAT elements. */
  public static final int ACCESS_INT_ARRAY = 4;

  public static final int ACCESS_DOUBLE_ARRAY = 5;
  public static final int ACCESS_FLOAT_ARRAY = 6;
  public static final int ACCESS_LONG_ARRAY = 7;
  public static final int ACCESS_SHORT_ARRAY = 8;

  KelvorTypeCOLLECTION(long peer) {
    super(peer);
  }

  /** The descriptor of the named collection type, as {@link KelvorTypeADT#forName}. */
  public static KelvorTypeCOLLECTION forName(String sqlName, Connection connection) {
    KelvorTypeCOLLECTION type = (KelvorTypeCOLLECTION) forName0(connection, sqlName);
    type.connection = connection;
    return type;
  }

  public KelvorType getElementType() {
    return adopt((KelvorType) getElementType0());
  }

  /** The declared maximum element count. */
  public native long getMaxElements();

  @Override
  public Object fromImage(byte[] image, long offset, int style) {
    return fromImage(image, offset, 1, -1, style);
  }

  /**
   * Reads count elements from element begin (1-based; count -1: to the end) of the image at
   * offset: an ArrayValue holding them as value classes (STYLE_SQL_VALUE) or Java objects
   * (STYLE_PLATFORM_OBJECT), or only their count (STYLE_COUNT_ONLY).
   */
  public native Object fromImage(byte[] image, long offset, long begin, int count, int style);

  /** count elements from element begin as an int[] (NUMBER and FLOAT elements; null: 0). */
  public int[] readInts(byte[] image, long offset, long begin, int count) {
    return (int[]) readPrimitive(image, offset, begin, count, ACCESS_INT_ARRAY);
  }

  public long[] readLongs(byte[] image, long offset, long begin, int count) {
    return (long[]) readPrimitive(image, offset, begin, count, ACCESS_LONG_ARRAY);
  }

  public double[] readDoubles(byte[] image, long offset, long begin, int count) {
    return (double[]) readPrimitive(image, offset, begin, count, ACCESS_DOUBLE_ARRAY);
  }

  static native NativePeer forName0(Connection connection, String sqlName);

  private native NativePeer getElementType0();

  private native Object readPrimitive(byte[] image, long offset, long begin, int count, int kind);
}
