package kelvor.jdbc;

import java.math.BigDecimal;

/** A NUMBER: at most 38 significant decimal digits in the server's byte form. */
public final class NumberValue extends SqlValue {
  public NumberValue(byte[] bytes) {
    super(bytes, NUMBER);
  }

  /** The exact value; a longer number is rounded half-even to 38 digits. */
  public static NumberValue of(BigDecimal value) {
    return new NumberValue(Conversions.numberFromBigDecimal(value));
  }

  public static NumberValue of(long value) {
    return new NumberValue(Conversions.numberFromLong(value));
  }

  public static NumberValue of(double value) {
    return new NumberValue(Conversions.numberFromDouble(value));
  }

  public BigDecimal bigDecimalValue() {
    return Conversions.numberToBigDecimal(bytes);
  }

  /** The value as an int; a fraction or a value out of range fails with driver error 59. */
  public int intValue() {
    return Conversions.numberToInt(bytes);
  }

  public long longValue() {
    return Conversions.numberToLong(bytes);
  }

  public double doubleValue() {
    return Conversions.numberToDouble(bytes);
  }
}
