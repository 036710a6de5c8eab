package kelvor.jdbc;

import java.util.Arrays;
import kelvor.jdbc.kelcore.KelvorTypeADT;

/**
 * A value of an object type: its descriptor and its attributes, in attribute order (value
 * classes, nested objects and collections, or null).
 */
public final class ObjectValue {
  final KelvorTypeADT type;
  final Object[] attributes;

  public ObjectValue(KelvorTypeADT type, Object[] attributes) {
    if (attributes == null) {
      throw new NullPointerException("attributes");
    }
    this.type = type;
    this.attributes = attributes;
  }

  public KelvorTypeADT getType() {
    return type;
  }

  public Object[] getAttributes() {
    return attributes.clone();
  }

  public Object getAttribute(int i) {
    return attributes[i];
  }

  @Override
  public boolean equals(Object o) {
    return o instanceof ObjectValue
        && ((ObjectValue) o).type == type
        && Arrays.deepEquals(attributes, ((ObjectValue) o).attributes);
  }

  @Override
  public int hashCode() {
    return Arrays.deepHashCode(attributes);
  }

  @Override
  public String toString() {
    return "ObjectValue" + Arrays.deepToString(attributes);
  }
}
