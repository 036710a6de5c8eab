package kelvor.jdbc;

import java.math.BigDecimal;
import java.time.LocalDateTime;
import kelvor.jdbc.kelcore.NativeLibrary;

/** The library's own conversions between byte forms and Java values. */
final class Conversions {
  static {
    NativeLibrary.load();
  }

  private Conversions() {}

  static native BigDecimal numberToBigDecimal(byte[] bytes);

  static native int numberToInt(byte[] bytes);

  static native long numberToLong(byte[] bytes);

  static native double numberToDouble(byte[] bytes);

  static native byte[] numberFromBigDecimal(BigDecimal value);

  static native byte[] numberFromLong(long value);

  static native byte[] numberFromDouble(double value);

  static native String charToString(byte[] bytes, int charsetId);

  static native byte[] charFromString(String text, int charsetId);

  static native LocalDateTime dateToLocalDateTime(byte[] bytes);

  static native byte[] dateFromLocalDateTime(LocalDateTime value);
}
